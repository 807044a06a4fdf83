add_compile_options(-Wall -Wextra)
# Reading the stored formats means copying into fixed fields on purpose.
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wno-stringop-truncation> -Wno-format-truncation)
