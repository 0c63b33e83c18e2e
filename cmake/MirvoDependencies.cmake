# System libraries, all from Debian packages (scripts/packages.txt installs them).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(Boost 1.74 REQUIRED COMPONENTS filesystem system)

pkg_check_modules(GLFW3 REQUIRED IMPORTED_TARGET glfw3)
pkg_check_modules(EPOXY REQUIRED IMPORTED_TARGET epoxy)
pkg_check_modules(FFTW3F REQUIRED IMPORTED_TARGET fftw3f)
if(MIRVO_AUDIO_RTAUDIO)
  pkg_check_modules(RTAUDIO REQUIRED IMPORTED_TARGET rtaudio)
  pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)
endif()
pkg_check_modules(VORBISFILE REQUIRED IMPORTED_TARGET vorbisfile)
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswresample libavutil)
# The offline renderer converts its frames to YUV for the video encoders.
pkg_check_modules(SWSCALE REQUIRED IMPORTED_TARGET libswscale)
pkg_check_modules(IMGUI REQUIRED IMPORTED_TARGET imgui)
pkg_check_modules(LIBPNG REQUIRED IMPORTED_TARGET libpng)
# Text in videos: glyphs rasterised by FreeType from a font that fontconfig finds.
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
# The desktop's media controls on the session bus (sd-bus).
pkg_check_modules(SYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
# The play queue sorts folders with the locale's collation.
pkg_check_modules(ICU REQUIRED IMPORTED_TARGET icu-uc icu-i18n)
find_package(CLI11 CONFIG REQUIRED)
find_package(X11 REQUIRED)
find_package(OpenGL REQUIRED COMPONENTS OpenGL)

if(MIRVO_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(MIRVO_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
