# Per package: the Debian package takes the system layout, the archive the portable one.
if(CPACK_GENERATOR STREQUAL "DEB")
    set(CPACK_COMPONENTS_ALL system)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
elseif(CPACK_GENERATOR MATCHES "^(TGZ|ZIP|NSIS)$")
    set(CPACK_COMPONENTS_ALL portable)
    set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
    set(CPACK_PACKAGE_FILE_NAME quelvana-${CPACK_PACKAGE_VERSION}-portatil-${CPACK_SYSTEM_NAME})
endif()
