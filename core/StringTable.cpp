#include "StringTable.h"

#include <algorithm>
#include <array>
#include <utility>

namespace
{
// Sorted by number.
constexpr std::array<std::pair<unsigned, std::string_view>, 6> kStrings{{
    {IDS_LINK_OPEN_ERROR, "Ошибка при открытии гиперссылки"},
    {IDS_TRAY_TOOLTIP, "Rozivazuduz idozazazarar ezididadad"},
    {IDS_NO_CONTENT, "Контент не загружен. Выполните обновление"},
    {IDS_MAIN_WINDOW_TITLE, "Калимор"},
    {IDS_FORMS_FOLDER, "Калимор - формы и бланки"},
    {IDS_INSTALL_ERROR, "Ошибка инсталляции"},
}};
} // namespace

std::string_view CStringTable::Get(unsigned nId)
{
    const auto it = std::lower_bound(kStrings.begin(), kStrings.end(), nId,
                                     [](const auto& entry, unsigned n) { return entry.first < n; });
    return (it != kStrings.end() && it->first == nId) ? it->second : std::string_view();
}
