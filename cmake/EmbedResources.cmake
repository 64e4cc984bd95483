# Compiles every file under a folder into a static library that provides
# GetEmbeddedResources() and FindEmbeddedResource() (core/EmbeddedResources.h).
add_executable(embed_resources ${CMAKE_CURRENT_LIST_DIR}/embed_resources.cpp)
# The generator runs at build time on the build machine; sanitizers only slow it.
set_target_properties(embed_resources PROPERTIES COMPILE_OPTIONS "" LINK_OPTIONS "")

function(kalimor_embed_resources target root)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS "${root}/*")
  list(SORT files)
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${target}_data.cpp)
  add_custom_command(
    OUTPUT ${generated}
    COMMAND embed_resources ${generated} ${root} ${files}
    DEPENDS embed_resources ${files}
    COMMENT "Embedding UI resources"
    VERBATIM)
  add_library(${target} STATIC ${generated})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/core)
endfunction()
