#pragma once

#include <cstddef>
#include <span>
#include <string_view>

// One file of resources/ui compiled into the program, named by its upper-case
// relative path with backslashes ("UI\TEMPLATES\SECTION_LEVEL2.TMPL").
struct CEmbeddedResource
{
    std::string_view m_name;
    const unsigned char* m_pData;
    std::size_t m_nSize;
};

// The table generated at build time, sorted by name.
std::span<const CEmbeddedResource> GetEmbeddedResources();

// The resource of that exact name, or null.
const CEmbeddedResource* FindEmbeddedResource(std::string_view name);
