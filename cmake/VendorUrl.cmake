# brisko_normalize_vendor_url(<var>): the program appends "/brk/..." and "/" to
# the vendor's address, so it must not end in a slash of its own.
function(brisko_normalize_vendor_url var)
    string(STRIP "${${var}}" url)
    string(REGEX REPLACE "/+$" "" url "${url}")
    set(${var} "${url}" PARENT_SCOPE)
endfunction()
