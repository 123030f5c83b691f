# TMODE_SANITIZE applies to every target of the build, third-party test
# frameworks excepted (they come prebuilt).
if(TMODE_SANITIZE)
  set(_tmode_san_flags -fsanitize=${TMODE_SANITIZE} -fno-omit-frame-pointer -g)
  if(TMODE_SANITIZE MATCHES "undefined")
    list(APPEND _tmode_san_flags -fno-sanitize-recover=undefined)
  endif()
  add_compile_options(${_tmode_san_flags})
  add_link_options(-fsanitize=${TMODE_SANITIZE})
endif()
