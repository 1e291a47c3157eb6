# Packages: a Debian package of the Linux build (dependencies computed from the
# binaries by dpkg-shlibdeps, not typed), and a .zip of the Windows build.
set(CPACK_PACKAGE_NAME "qmr")
set(CPACK_PACKAGE_VENDOR "Quillmere")
set(CPACK_PACKAGE_CONTACT "qmr maintainers <maintainers@qmr.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR "ZIP")
  set(CPACK_PACKAGE_FILE_NAME "qmr-${PROJECT_VERSION}-win32")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR "DEB")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "qmr checks that both directories can be entered and has its own xcopy copy the source tree into the target, keeping times and permission bits and never leaving a partial file under its final name.")
endif()
include(CPack)

# The Windows .zip holds qmr.exe and a short text on its use beside it.
if(WIN32)
  install(FILES "${PROJECT_SOURCE_DIR}/resources/README-windows.txt" DESTINATION .
          RENAME README.txt)
endif()
