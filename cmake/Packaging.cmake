# `cpack -G DEB` from a build tree: meterlink_<version>_<arch>.deb with both programs, the desktop
# entry, the AppStream metainfo and the icons under /usr, its dependencies computed from the binaries.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "meterlink")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The MeterLink developers")
set(CPACK_PACKAGE_CONTACT "The MeterLink developers <meterlink@meterlink.github.io>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "mirror, record and plot a digital multimeter's readings")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://meterlink.github.io/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so invisible to the shared-library scan: the window system plugins, and the
# font the layout is drawn in.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The summary above is the first line; this is the text under it.
set(CPACK_PACKAGE_DESCRIPTION
    "MeterLink links a handheld digital multimeter to a PC over RS-232. The meter
streams its display; MeterLink decodes it and mirrors the meter on screen: the
LCD with its digits and annunciators, a bar graph and an analog pointer scale.
It keeps MIN/MAX, sounds limit alarms, records readings into a table, plots a
paged trend chart, saves, exports, reopens and prints the data.

Every supported meter model runs from this one install; meterlink-cli decodes
captured streams, simulates a meter and lists the serial ports.")

include(CPack)
