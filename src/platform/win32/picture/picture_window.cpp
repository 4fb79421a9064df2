#include "platform/picture_window.h"

#include <windows.h>

#include <vector>

namespace corvane::platform {

namespace {

constexpr const char* kClassName = "CorvanePictureWindow";
constexpr int kFirstWidth = 720, kFirstHeight = 480;

}  // namespace

struct PictureWindow::Parts {
  HWND window = nullptr;
  std::vector<std::uint8_t> bgra;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool closeAsked = false;

  ~Parts() {
    if (window == nullptr) return;
    // The messages of its destruction must not reach these parts.
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }

  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* parts = reinterpret_cast<Parts*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (parts == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
      case WM_CLOSE:
        // The program ends and takes the window along; it is not destroyed
        // here, under the program's feet.
        parts->closeAsked = true;
        return 0;
      case WM_ERASEBKGND:
        return 1;  // WM_PAINT covers every pixel
      case WM_PAINT: {
        PAINTSTRUCT paint;
        parts->draw(BeginPaint(window, &paint));
        EndPaint(window, &paint);
        return 0;
      }
      case WM_PRINTCLIENT:  // a copy of the window's picture, for a capture
        parts->draw(reinterpret_cast<HDC>(wParam));
        return 0;
      default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
  }

  void draw(HDC dc) {
    RECT client;
    GetClientRect(window, &client);
    if (bgra.empty()) {
      FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    } else {
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof(info.bmiHeader);
      info.bmiHeader.biWidth = static_cast<LONG>(width);
      info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top row first
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 32;  // B, G, R and an unused byte, as the picture is
      info.bmiHeader.biCompression = BI_RGB;
      SetStretchBltMode(dc, COLORONCOLOR);
      StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, static_cast<int>(width),
                    static_cast<int>(height), bgra.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    }
  }

  // The window's outer size for a client area of width x height.
  void fitTo(std::uint32_t clientWidth, std::uint32_t clientHeight) {
    RECT rect{0, 0, static_cast<LONG>(clientWidth), static_cast<LONG>(clientHeight)};
    AdjustWindowRect(&rect, static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)), FALSE);
    SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
};

std::unique_ptr<PictureWindow> PictureWindow::open(const std::string& title) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &Parts::procedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.lpszClassName = kClassName;
  // A second window in the same program finds the class already there.
  if (RegisterClassA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  auto parts = std::make_unique<Parts>();
  parts->window =
      CreateWindowExA(0, kClassName, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, parts.get());
  // No window station or desktop to draw on: no display.
  if (parts->window == nullptr) return nullptr;
  parts->fitTo(kFirstWidth, kFirstHeight);
  ShowWindow(parts->window, SW_SHOWNOACTIVATE);
  UpdateWindow(parts->window);
  return std::unique_ptr<PictureWindow>(new PictureWindow(std::move(parts)));
}

PictureWindow::PictureWindow(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}

PictureWindow::~PictureWindow() = default;

void PictureWindow::show(const PictureView& picture) {
  const std::size_t bytes = std::size_t{picture.width} * picture.height * 4;
  if (picture.bgra.size() < bytes) return;
  if (picture.width != parts_->width || picture.height != parts_->height) {
    parts_->width = picture.width;
    parts_->height = picture.height;
    parts_->fitTo(picture.width, picture.height);
  }
  parts_->bgra.assign(picture.bgra.begin(), picture.bgra.begin() + static_cast<std::ptrdiff_t>(bytes));
  InvalidateRect(parts_->window, nullptr, FALSE);
}

bool PictureWindow::pump(int waitMs) {
  // Wakes for anything posted or sent to this thread, the close request too.
  MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(waitMs < 0 ? 0 : waitMs), QS_ALLINPUT);
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) parts_->closeAsked = true;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return !parts_->closeAsked;
}

}  // namespace corvane::platform
