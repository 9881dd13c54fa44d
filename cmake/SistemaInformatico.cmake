# The invoicing system as its producer declares it to the tax agency: the SistemaInformatico of
# every record exported or sent and the declaración responsable shown in "Acerca de
# tvFacturacion" come from these cache entries and from nothing a clinic can change. A
# distributor builds with its own (docs/declaracion-responsable.md), for example
#   cmake -S . -B build -DTV_PRODUCTOR_NOMBRE="Mi Empresa S.L." -DTV_PRODUCTOR_NIF=B12345674 ...
set(TV_PRODUCTOR_NOMBRE "Tavelo Software S.L." CACHE STRING
    "Producer of the invoicing system: name or company name")
set(TV_PRODUCTOR_NIF "B99123457" CACHE STRING "Producer's Spanish NIF")
set(TV_PRODUCTOR_DIRECCION "Calle del Coso 100, 50001 Zaragoza (España)" CACHE STRING
    "Producer's full postal address for contact")
set(TV_SISTEMA_NOMBRE "tvFacturacion" CACHE STRING "Name of the invoicing system")
set(TV_SISTEMA_ID "TV" CACHE STRING "The system's identifier: two characters")
set(TV_SISTEMA_VERSION "${PROJECT_VERSION}" CACHE STRING "Version of the invoicing system")
set(TV_DECLARACION_LUGAR "Zaragoza" CACHE STRING "Where the producer signs the declaration")
string(TIMESTAMP today "%d/%m/%Y")
set(TV_DECLARACION_FECHA "${today}" CACHE STRING
    "When the producer signs the declaration (dd/mm/yyyy)")

# Each goes into a C++ string literal, and the agency bounds their lengths.
foreach(entry TV_PRODUCTOR_NOMBRE TV_PRODUCTOR_NIF TV_PRODUCTOR_DIRECCION TV_SISTEMA_NOMBRE
              TV_SISTEMA_ID TV_SISTEMA_VERSION TV_DECLARACION_LUGAR TV_DECLARACION_FECHA)
  if("${${entry}}" MATCHES "[\"\\\\]" OR "${${entry}}" STREQUAL "")
    message(FATAL_ERROR "${entry} must be given, without quotes or backslashes")
  endif()
endforeach()
foreach(bound TV_PRODUCTOR_NOMBRE:120 TV_SISTEMA_NOMBRE:30 TV_SISTEMA_ID:2 TV_SISTEMA_VERSION:50)
  string(REPLACE ":" ";" bound ${bound})
  list(GET bound 0 entry)
  list(GET bound 1 most)
  string(LENGTH "${${entry}}" length)
  if(length GREATER most)
    message(FATAL_ERROR "${entry} has ${length} characters; the agency accepts at most ${most}")
  endif()
endforeach()
message(STATUS "Invoicing system: ${TV_SISTEMA_NOMBRE} ${TV_SISTEMA_VERSION} (${TV_SISTEMA_ID}) "
               "by ${TV_PRODUCTOR_NOMBRE}, NIF ${TV_PRODUCTOR_NIF}")

configure_file(${CMAKE_CURRENT_LIST_DIR}/SistemaInformaticoBuild.h.in
               ${CMAKE_BINARY_DIR}/generated/register/SistemaInformaticoBuild.h @ONLY)
target_include_directories(tv_register PUBLIC ${CMAKE_BINARY_DIR}/generated)
