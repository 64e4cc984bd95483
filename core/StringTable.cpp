#include "StringTable.h"

#include <algorithm>
#include <array>
#include <utility>

namespace
{
// Sorted by number.
constexpr std::array<std::pair<unsigned, std::string_view>, 42> kStrings{{
    {IDS_UPDATE_PLEASE_WAIT, "Пожалуйста, подождите несколько минут..."},
    {IDS_HYPERLINK_ERROR, "Ошибка при открытии гиперссылки"},
    {IDS_SIGN_UP_FIELDS_EMPTY, "Заполнены не все поля"},
    {IDS_PASSWORD_MISMATCH, "Различаются введённый пароль и подтверждение пароля"},
    {IDS_REGISTRY_ALPHABET, "АБВГДЕЖЗИКЛМНОПРСТУФХЦЧШЩЭЮЯ"},
    {IDS_UPDATE_NO_CONNECTION, "Невозможно подключиться к серверу"},
    {IDS_TRAY_TOOLTIP, "Rozivazuduz idozazazarar ezididadad"},
    {IDS_UPDATE_NEW_CLIENT_OFFER,
     "Мы выпустили новую версию программы. Работать с калимором стало еще удобней. "
     "Обновить сейчас?"},
    {IDS_UPDATE_CLIENT_DOWNLOADING, "Загрузка новой версии клиентского приложения"},
    {IDS_UPDATE_CLIENT_DOWNLOADED, "Клиентское приложение загружено"},
    {IDS_UPDATE_DONE, "Обновления загружены"},
    {IDS_UPDATE_UP_TO_DATE, "Ваша версия калимора актуальна"},
    {IDS_SIGN_UP_TITLE, "Регистрация"},
    {IDS_SIGN_UP_SENDING, "Отправка запроса на сервер..."},
    {IDS_SIGN_UP_DONE, "Регистрация завершена"},
    {IDS_UPDATE_TRAY_BALLOON, "Обновление..."},
    {IDS_NO_CONTENT, "Контент не загружен. Выполните обновление"},
    {IDS_LOGIN_TOO_SHORT, "Длина логина должна быть не менее 3-х символов"},
    {IDS_PASSWORD_TOO_SHORT, "Длина пароля должна быть не менее 6-ти символов"},
    {IDS_MAIN_WINDOW_TITLE, "Калимор"},
    {IDS_INVALID_LINK, "Некорректная ссылка"},
    {IDS_FORMS_FOLDER, "Калимор - формы и бланки"},
    {IDS_INSTALL_ERROR, "Ошибка инсталляции"},
    {IDS_IMAGE_HINT, "Увеличить"},
    {IDS_CLIENT_INSTALL_ERROR, "Невозможно установить новую версию приложения"},
    {IDS_PROXY_PORT_MISSING, "Не указан номер порта"},
    {IDS_PROXY_HOST_MISSING, "Не указан адрес прокси"},
    {IDS_LOGIN_INVALID, "Введенный логин содержит недопустимые символы"},
    {IDS_PASSWORD_INVALID, "Введенный пароль содержит недопустимые символы"},
    {IDS_WORD_PROCESSOR_ERROR, "Невозможно запустить LibreOffice Writer"},
    {IDS_DOWNLOAD_URL_LOADING, "Загрузка информации с сервера"},
    {IDS_DOWNLOAD_URL_DONE, "Информация загружена"},
    {IDS_DOWNLOAD_URL_ERROR, "Невозможно загрузить информацию с сервера"},
    {IDS_CLIENT_PACKAGE_SAVED,
     "Пакет новой версии сохранен в папке «%s». Установите его, как устанавливаете "
     "программы в вашей системе, и перезапустите калимор."},
    {IDS_SAVE_FILE_EXISTS,
     "Файл с таким именем уже есть. Нажмите «Заменить», чтобы записать новый файл "
     "вместо него."},
    {IDS_SAVE_FILE_NO_FOLDER, "Не удается создать папку для сохранения файла"},
    {IDS_FORM_COPIED, "Бланк сохранен: %s"},
    {IDS_FORM_COPY_ERROR, "Не удалось сохранить бланк"},
    {IDS_FORM_OPEN_ERROR, "Не удалось открыть файл бланка"},
    {IDS_UPDATE_FAILED, "Обновление не выполнено"},
    {IDS_SAVE_FILE_NO_NAME, "Укажите имя файла"},
    // The two sizes: what the install needs and what the disk has free.
    {IDS_UPDATE_NO_SPACE,
     "Недостаточно места на диске для установки обновления: нужно %s, свободно %s"},
}};
} // namespace

std::string_view CStringTable::Get(unsigned nId)
{
    const auto it = std::lower_bound(kStrings.begin(), kStrings.end(), nId,
                                     [](const auto& entry, unsigned n) { return entry.first < n; });
    return (it != kStrings.end() && it->first == nId) ? it->second : std::string_view();
}
