# check_package_sum(PACKAGE): PACKAGE.sha256 beside the package holds its
# SHA-256 sum and its name, the line sha256sum -c reads.
function(check_package_sum package)
  get_filename_component(name ${package} NAME)
  if(NOT EXISTS ${package}.sha256)
    message(FATAL_ERROR "${name}: no ${name}.sha256 beside it")
  endif()
  file(READ ${package}.sha256 line)
  file(SHA256 ${package} sum)
  if(NOT line MATCHES "^${sum}  ${name}\n?$")
    message(FATAL_ERROR "${name}.sha256 says '${line}', the package is ${sum}")
  endif()
endfunction()
