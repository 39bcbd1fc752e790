# Strict warnings for our own targets. Qt's headers come in as system headers
# through its imported targets, so they do not trip these.
function(freymo_set_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Woverloaded-virtual -Wcast-align -Wold-style-cast)
    if(FREYMO_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
