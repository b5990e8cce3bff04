#include "support-win32.hpp"

#include <utility>

#include "../utf.hpp"
#include "../windows_errors.hpp"

namespace tolvane::platform::win32 {

namespace codes = windows_errors;
static_assert(codes::invalid_function == ERROR_INVALID_FUNCTION &&
              codes::file_not_found == ERROR_FILE_NOT_FOUND &&
              codes::path_not_found == ERROR_PATH_NOT_FOUND &&
              codes::access_denied == ERROR_ACCESS_DENIED &&
              codes::invalid_drive == ERROR_INVALID_DRIVE &&
              codes::not_supported == ERROR_NOT_SUPPORTED &&
              codes::bad_netpath == ERROR_BAD_NETPATH &&
              codes::invalid_parameter == ERROR_INVALID_PARAMETER &&
              codes::broken_pipe == ERROR_BROKEN_PIPE && codes::no_data == ERROR_NO_DATA &&
              codes::more_data == ERROR_MORE_DATA && codes::directory == ERROR_DIRECTORY &&
              codes::unrecognized_volume == ERROR_UNRECOGNIZED_VOLUME);

std::wstring wide(std::string_view text) {
  const std::u16string u = utf::to_utf16(text);
  return std::wstring(u.begin(), u.end());
}

std::string narrow(std::wstring_view text) {
  return utf::from_utf16(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

namespace {
std::string system_text(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = n ? narrow(std::wstring_view(buffer, n)) : "unknown error";
  if (buffer) LocalFree(buffer);
  return text;
}
}  // namespace

SystemError error(std::string api, DWORD code, std::string subject) {
  return SystemError{std::move(api), code, system_text(code), std::move(subject),
                     codes::reason_of(code)};
}

DWORD milliseconds_until(std::optional<Clock::time_point> deadline) {
  if (!deadline) return INFINITE;
  const auto left = *deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
}

}  // namespace tolvane::platform::win32
