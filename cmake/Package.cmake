# The Debian package (scripts/package): the programs in /usr/bin, what they read beside their
# suite folder in /usr/share/tvfacturacion, the menu entries, manual pages and Debian's own files.
include(GNUInstallDirs)
# The package is made from the programs alone; the tests and benchmarks need not be built first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(tv_share ${CMAKE_INSTALL_DATADIR}/tvfacturacion)
set(tv_doc ${CMAKE_INSTALL_DATADIR}/doc/tvfacturacion)
set(tv_packaging ${CMAKE_SOURCE_DIR}/packaging)

# The report definitions, the schema and the logo are built into the programs, which copy them
# into each new suite folder; the installed copies are there to read, compare and start a
# clinic's own reports from.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/ DESTINATION ${tv_share})
install(FILES ${tv_packaging}/tvfacturacion.desktop ${tv_packaging}/tvfacturacion-demo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${tv_packaging}/tvfacturacion.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${tv_packaging}/copyright DESTINATION ${tv_doc})

set(tv_generated ${CMAKE_BINARY_DIR}/packaging)
add_custom_command(OUTPUT ${tv_generated}/changelog.gz
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${tv_generated}
                   COMMAND sh -c "gzip -n -9 -c '${tv_packaging}/changelog' > '${tv_generated}/changelog.gz'"
                   DEPENDS ${tv_packaging}/changelog VERBATIM)
set(tv_generated_files ${tv_generated}/changelog.gz)
install(FILES ${tv_generated}/changelog.gz DESTINATION ${tv_doc})

# Each page is its program's --help, so a new option reaches the manual with the program.
set(tv_manuals
    "tvFacturacion:facturación de la clínica veterinaria"
    "tvSetup:crea una carpeta de la suite, su base de datos y una clínica de demostración"
    "tvReport:compone un informe o una factura sin ventana (PDF, texto, HTML, RTF)"
    "tvRegistro:comprueba, exporta y envía el registro de facturación"
    "tvLibros:libro registro de facturas expedidas y resumen de IVA"
    "tvFacturae:factura electrónica Facturae, firmada o sin firmar"
    "tvCaja:estado, cierre e informes de una caja"
    "tvCorreo:envía facturas por correo electrónico y la cola de salida")
foreach(manual IN LISTS tv_manuals)
  string(FIND "${manual}" ":" colon)
  string(SUBSTRING "${manual}" 0 ${colon} program)
  math(EXPR start "${colon} + 1")
  string(SUBSTRING "${manual}" ${start} -1 description)
  if(TARGET ${program})
    set(page ${tv_generated}/${program}.1.gz)
    add_custom_command(OUTPUT ${page}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${tv_generated}
                       COMMAND ${tv_packaging}/manpage.sh $<TARGET_FILE:${program}> ${description}
                               ${page}
                       DEPENDS ${program} ${tv_packaging}/manpage.sh VERBATIM)
    list(APPEND tv_generated_files ${page})
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
add_custom_target(packaging_files DEPENDS ${tv_generated_files})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tvfacturacion)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tavelo <soporte@tavelo.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "billing module of the Tavelo veterinary-clinic suite")
# CPack puts the summary first itself; this is the extended text, each line under 80 columns.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "The front desk invoices the products and services given to a client's\n"
    "pets, takes payments, closes the till and keeps the hash-chained invoice\n"
    "register and the accountant's books. The tools create a suite folder\n"
    "(also a demonstration clinic), lay out reports, export the register and\n"
    "e-invoices and back a clinic up.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads these as plugins, so no binary names them: the database drivers, the offscreen
# platform and the Spanish texts of Qt's own dialogs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, libqt6sql6-psql, qt6-qpa-plugins, qt6-translations-l10n, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "postgresql-client")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_SET_DESTDIR OFF)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
