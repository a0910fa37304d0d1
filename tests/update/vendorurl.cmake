# cmake -P: the vendor address as the build normalises it.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/VendorUrl.cmake)
foreach(pair "https://www.pelmora.example/|https://www.pelmora.example"
             "http://127.0.0.1:8080//|http://127.0.0.1:8080"
             " https://v.example/base/ |https://v.example/base"
             "https://v.example|https://v.example")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 url)
    list(GET pair 1 expected)
    brisko_normalize_vendor_url(url)
    if(NOT url STREQUAL expected)
        message(FATAL_ERROR "'${url}' should be '${expected}'")
    endif()
endforeach()
# And the build in hand was configured with it.
if(DEFINED CONFIGURED)
    file(STRINGS "${CONFIGURED}" line REGEX "vendorUrl")
    if(line MATCHES "/\"")
        message(FATAL_ERROR "configured vendor address ends in a slash: ${line}")
    endif()
endif()
