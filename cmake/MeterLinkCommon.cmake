# Settings every target of ours shares: link meterlink_common_cfg.
add_library(meterlink_common_cfg INTERFACE)
target_compile_features(meterlink_common_cfg INTERFACE cxx_std_17)
target_compile_definitions(meterlink_common_cfg INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_FOREACH)
target_compile_options(meterlink_common_cfg INTERFACE -Wall -Wextra)
if(METERLINK_WERROR)
    target_compile_options(meterlink_common_cfg INTERFACE -Werror)
endif()

# A library per folder; sources are the folder's .cpp/.h files.
function(meterlink_add_library name)
    file(GLOB _sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
    add_library(${name} STATIC ${_sources})
    target_include_directories(${name} PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}/..")
    target_link_libraries(${name} PUBLIC meterlink_common_cfg)
endfunction()
