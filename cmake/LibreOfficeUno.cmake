# LibreOffice's C++ UNO from Debian's SDK packages (libreoffice-dev): the
# headers of the UNO types are generated here with cppumaker, for the types
# listed below and what they depend on.
include_guard(GLOBAL)

set(LO_PROGRAM_DIR /usr/lib/libreoffice/program CACHE PATH "LibreOffice's program directory")
set(LO_SDK_DIR /usr/lib/libreoffice/sdk CACHE PATH "LibreOffice SDK directory")
find_program(LO_CPPUMAKER cppumaker PATHS ${LO_SDK_DIR}/bin NO_DEFAULT_PATH REQUIRED)
find_path(LO_INCLUDE_DIR sal/types.h PATHS /usr/include/libreoffice ${LO_SDK_DIR}/include REQUIRED)
foreach(lib uno_cppuhelpergcc3 uno_cppu uno_sal)
    find_library(LO_${lib} ${lib} PATHS ${LO_SDK_DIR}/lib NO_DEFAULT_PATH REQUIRED)
endforeach()

set(LO_UNO_TYPES
    com.sun.star.beans.PropertyValue
    com.sun.star.bridge.BridgeFactory
    com.sun.star.bridge.UnoUrlResolver
    com.sun.star.connection.Connector
    com.sun.star.connection.NoConnectException
    com.sun.star.frame.Desktop
    com.sun.star.frame.XComponentLoader
    com.sun.star.frame.XController
    com.sun.star.frame.XDesktop2
    com.sun.star.frame.XModel
    com.sun.star.lang.DisposedException
    com.sun.star.lang.XComponent
    com.sun.star.sheet.XCellRangeAddressable
    com.sun.star.sheet.XSheetCellRanges
    com.sun.star.sheet.XSpreadsheet
    com.sun.star.sheet.XSpreadsheetDocument
    com.sun.star.sheet.XSpreadsheetView
    com.sun.star.sheet.XCellRangeData
    com.sun.star.table.XCell
    com.sun.star.util.XCloseable
    com.sun.star.uno.DeploymentException
    com.sun.star.uno.XComponentContext
    com.sun.star.view.XSelectionSupplier
    # For the tests, which arrange documents and read cells back.
    com.sun.star.awt.XWindow2
    com.sun.star.container.XEnumerationAccess
    com.sun.star.drawing.XDrawPageSupplier
    com.sun.star.drawing.XShapes
    com.sun.star.frame.XFrame
    com.sun.star.lang.XMultiServiceFactory
    com.sun.star.sheet.XSheetCellRangeContainer
    com.sun.star.util.XProtectable
)
set(LO_UNO_HEADERS ${CMAKE_BINARY_DIR}/uno-headers)
set(types_args)
foreach(t ${LO_UNO_TYPES})
    list(APPEND types_args -T${t})
endforeach()
add_custom_command(
    OUTPUT ${LO_UNO_HEADERS}/stamp
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${LO_UNO_HEADERS}/com
    COMMAND ${LO_CPPUMAKER} -O${LO_UNO_HEADERS} ${types_args}
            ${LO_PROGRAM_DIR}/types.rdb ${LO_PROGRAM_DIR}/types/offapi.rdb
    COMMAND ${CMAKE_COMMAND} -E touch ${LO_UNO_HEADERS}/stamp
    DEPENDS ${LO_PROGRAM_DIR}/types.rdb ${LO_PROGRAM_DIR}/types/offapi.rdb
    COMMENT "Generating UNO headers with cppumaker"
    VERBATIM)
add_custom_target(lo_uno_headers DEPENDS ${LO_UNO_HEADERS}/stamp)

add_library(lo_uno INTERFACE)
add_library(LibreOffice::uno ALIAS lo_uno)
add_dependencies(lo_uno lo_uno_headers)
target_include_directories(lo_uno SYSTEM INTERFACE ${LO_UNO_HEADERS} ${LO_INCLUDE_DIR})
target_compile_definitions(lo_uno INTERFACE LINUX CPPU_ENV=gcc3)
target_link_libraries(lo_uno INTERFACE ${LO_uno_cppuhelpergcc3} ${LO_uno_cppu} ${LO_uno_sal})
# The SDK's link libraries lead to the office's own; both are found there.
target_link_options(lo_uno INTERFACE
    "LINKER:-rpath-link,${LO_PROGRAM_DIR}" "LINKER:-rpath,${LO_PROGRAM_DIR}")
