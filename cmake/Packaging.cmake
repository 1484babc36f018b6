# Installing the Linux plug-in and packaging it.
#
# The install prefix IS the VST 2 plug-in folder: tam.so goes straight into
# it. Without --prefix that is ~/.vst (this user); system-wide it is
# /usr/lib/vst, where Debian's own VST 2 plug-in packages put theirs:
#   cmake --install build/release                            -> ~/.vst/tam.so
#   sudo cmake --install build/release --prefix /usr/lib/vst -> /usr/lib/vst/tam.so

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT AND DEFINED ENV{HOME})
    set(CMAKE_INSTALL_PREFIX "$ENV{HOME}/.vst" CACHE PATH "VST 2 plug-in folder tam.so is installed into" FORCE)
endif()
set(TAM_SYSTEM_VST_DIR /usr/lib/vst CACHE PATH "System-wide VST 2 plug-in folder (the Debian package installs there)")

install(TARGETS tam LIBRARY DESTINATION . COMPONENT plugin)

# Debian package of the plug-in alone (scripts/package builds it).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tam-vst)
set(CPACK_PACKAGE_VENDOR Veldrana)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}: stereo convolution reverb, VST 2 plug-in")
set(CPACK_PACKAGE_CONTACT "Veldrana <support@veldrana.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${TAM_SYSTEM_VST_DIR})
set(CPACK_COMPONENTS_ALL plugin)
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A stereo convolution reverb as a VST 2 plug-in (tam.so).\n\
Loads an impulse response from a WAV file, shapes it and convolves the\n\
host's audio with it at a fixed latency of 8960 samples.")
# The run-time libraries tam.so links against, found by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
