# Included by the Windows plug-in's target: the dialogs become resources of
# avfile.dll, generated from the toolkit's control tables at build time.
include(${PROJECT_SOURCE_DIR}/cmake/dialog_resources.cmake)
corvane_dialog_resources(avfile)
