# Imported targets for the cross-built third-party libraries (scripts/build-deps.sh).
set(_d ${ZORVET_DEPS})

add_library(dep_crypto STATIC IMPORTED GLOBAL)
set_target_properties(dep_crypto PROPERTIES
  IMPORTED_LOCATION ${_d}/openssl/lib/libcrypto.a
  INTERFACE_INCLUDE_DIRECTORIES ${_d}/openssl/include
  INTERFACE_LINK_LIBRARIES "ws2_32;crypt32;bcrypt;advapi32;user32")

add_library(dep_tinyxml STATIC IMPORTED GLOBAL)
set_target_properties(dep_tinyxml PROPERTIES
  IMPORTED_LOCATION ${_d}/tinyxml/lib/libtinyxml.a
  INTERFACE_INCLUDE_DIRECTORIES ${_d}/tinyxml/include
  INTERFACE_COMPILE_DEFINITIONS TIXML_USE_STL)

find_library(MINGW_ZLIB NAMES libz.a z REQUIRED)
add_library(dep_zlib STATIC IMPORTED GLOBAL)
set_target_properties(dep_zlib PROPERTIES IMPORTED_LOCATION ${MINGW_ZLIB})

add_library(dep_minizip STATIC IMPORTED GLOBAL)
set_target_properties(dep_minizip PROPERTIES
  IMPORTED_LOCATION ${_d}/minizip/lib/libminizip.a
  INTERFACE_INCLUDE_DIRECTORIES ${_d}/minizip/include
  INTERFACE_LINK_LIBRARIES dep_zlib)

add_library(dep_gtest STATIC IMPORTED GLOBAL)
set_target_properties(dep_gtest PROPERTIES
  IMPORTED_LOCATION ${_d}/gtest/lib/libgtest.a
  INTERFACE_INCLUDE_DIRECTORIES ${_d}/gtest/include)
add_library(dep_gtest_main STATIC IMPORTED GLOBAL)
set_target_properties(dep_gtest_main PROPERTIES
  IMPORTED_LOCATION ${_d}/gtest/lib/libgtest_main.a
  INTERFACE_LINK_LIBRARIES dep_gtest)
