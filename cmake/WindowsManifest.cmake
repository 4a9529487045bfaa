# Gives a Windows executable the program's application manifest
# (res/windows/gridmint.manifest): long paths and UTF-8 as its code page.
if(MINGW)
  enable_language(RC)
endif()

function(gridmint_windows_manifest target)
  if(MSVC)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/res/windows/gridmint.manifest)
  elseif(MINGW)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/res/windows/gridmint-manifest.rc)
  endif()
endfunction()
