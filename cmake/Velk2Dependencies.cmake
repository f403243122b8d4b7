# Libraries of the platform layer. Only platform/ may include their headers;
# the engine folders see the platform layer's own interfaces.
find_package(PkgConfig REQUIRED)
find_package(OpenGL REQUIRED COMPONENTS OpenGL EGL)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
# Only for what SDL leaves to Xlib's defaults: a lost display connection.
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale libswresample libavutil)
pkg_check_modules(VORBIS REQUIRED IMPORTED_TARGET vorbisfile vorbis ogg)
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(JPEG REQUIRED IMPORTED_TARGET libjpeg)
pkg_check_modules(ZLIB REQUIRED IMPORTED_TARGET zlib)

add_library(velk2_platform_deps INTERFACE)
target_link_libraries(velk2_platform_deps INTERFACE
  PkgConfig::SDL2 PkgConfig::X11 OpenGL::OpenGL OpenGL::EGL PkgConfig::FREETYPE PkgConfig::FONTCONFIG
  PkgConfig::PNG PkgConfig::JPEG PkgConfig::ZLIB ${CMAKE_DL_LIBS})

# The sound subsystem decodes Ogg Vorbis itself through vorbisfile's callbacks.
add_library(velk2_engine_deps INTERFACE)
target_link_libraries(velk2_engine_deps INTERFACE PkgConfig::VORBIS)
