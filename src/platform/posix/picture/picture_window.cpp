#include "platform/picture_window.h"

#include <SDL.h>

#include "platform/environment.h"

namespace corvane::platform {

struct PictureWindow::Parts {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  int textureWidth = 0;
  int textureHeight = 0;

  ~Parts() {
    if (texture != nullptr) SDL_DestroyTexture(texture);
    if (renderer != nullptr) SDL_DestroyRenderer(renderer);
    if (window != nullptr) SDL_DestroyWindow(window);
    SDL_Quit();
  }

  void redraw() {
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    if (texture != nullptr) SDL_RenderCopy(renderer, texture, nullptr, nullptr);
    SDL_RenderPresent(renderer);
  }
};

std::unique_ptr<PictureWindow> PictureWindow::open(const std::string& title) {
  // Without DISPLAY there is no screen: the program keeps to its PNG.
  const auto display = environmentValue("DISPLAY");
  if (!display || display->empty()) return nullptr;
  // SIGTERM is the program's to handle: it ends it at once, not by a queued event.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return nullptr;
  auto parts = std::make_unique<Parts>();
  parts->window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 720, 480,
                                   SDL_WINDOW_RESIZABLE);
  if (parts->window == nullptr) return nullptr;
  parts->renderer = SDL_CreateRenderer(parts->window, -1, 0);
  if (parts->renderer == nullptr) return nullptr;
  parts->redraw();
  return std::unique_ptr<PictureWindow>(new PictureWindow(std::move(parts)));
}

PictureWindow::PictureWindow(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}

PictureWindow::~PictureWindow() = default;

void PictureWindow::show(const PictureView& picture) {
  const int width = static_cast<int>(picture.width);
  const int height = static_cast<int>(picture.height);
  if (parts_->texture == nullptr || parts_->textureWidth != width || parts_->textureHeight != height) {
    if (parts_->texture != nullptr) SDL_DestroyTexture(parts_->texture);
    // ARGB8888 is a native-endian word: B, G, R, A in memory, as the picture is.
    parts_->texture = SDL_CreateTexture(parts_->renderer, SDL_PIXELFORMAT_ARGB8888,
                                        SDL_TEXTUREACCESS_STREAMING, width, height);
    if (parts_->texture == nullptr) return;
    parts_->textureWidth = width;
    parts_->textureHeight = height;
    SDL_SetWindowSize(parts_->window, width, height);
  }
  SDL_UpdateTexture(parts_->texture, nullptr, picture.bgra.data(), width * 4);
  parts_->redraw();
}

bool PictureWindow::pump(int waitMs) {
  SDL_Event event;
  if (SDL_WaitEventTimeout(&event, waitMs) == 0) return true;
  do {
    if (event.type == SDL_QUIT) return false;
    if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_EXPOSED) parts_->redraw();
  } while (SDL_PollEvent(&event) != 0);
  return true;
}

}  // namespace corvane::platform
