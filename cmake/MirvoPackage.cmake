# `cmake --build <tree> --target package` makes a .deb of what `install` puts in place, for
# installing with the package manager (`apt install ./mirvo_*.deb`). dpkg-shlibdeps works out the
# libraries the program links; what it opens at run time is named here: Mesa's drivers for the
# window and for rendering videos without one (libepoxy opens libGL and libEGL itself, unseen by
# dpkg-shlibdeps), the font a video's title is set in, and a sound server for playing and showing the
# desktop's sound (without one Mirvo still renders videos).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mirvo)
set(CPACK_PACKAGE_VENDOR "Mirvo")
set(CPACK_PACKAGE_CONTACT "Mirvo developers <mirvo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Audio-reactive music visualizer")
set(CPACK_PACKAGE_DESCRIPTION
    "Mirvo plays music, or shows what the desktop plays, and draws scenes that move with it: a
galaxy of stars, a ring of fractal trees, overlapping triangles, and shader files written to the
common convention of audio-reactive shaders. It answers the desktop's media keys and renders songs
and albums to video files.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libegl1, libgl1-mesa-dri, libegl-mesa0, libglx-mesa0, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pipewire-pulse | pulseaudio")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
