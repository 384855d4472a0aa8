# find_package(jqcpt) gives the imported target jqcpt::jqcpt (the CPTD
# library and its headers) and jqcpt::jqcpttst (the test utility).
include("${CMAKE_CURRENT_LIST_DIR}/jqcptTargets.cmake")
