// The viewer's own values under HKEY_CURRENT_USER\Software\Velmark\Malvito:
// the recent-file list, and below "Settings" the shortcuts, the bars and the
// window's place. Reads are bounded; write errors are ignored.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvenna {

inline constexpr const char kRecentSection[] = "Recent File List";
inline constexpr const char kSettingsSection[] = "Settings";

// A REG_SZ value of the section (a sub-key of the program's key), at most
// maxBytes long; nothing when missing, of another type or too long.
std::optional<std::string> ReadProfileString(const char* section, const std::string& name, size_t maxBytes = 4096);
void WriteProfileString(const char* section, const std::string& name, const std::string& value);
void DeleteProfileValue(const char* section, const std::string& name);
// A REG_BINARY value of at most maxBytes.
std::optional<std::vector<unsigned char>> ReadProfileBinary(const char* section, const std::string& name,
                                                            size_t maxBytes);
void WriteProfileBinary(const char* section, const std::string& name, const std::vector<unsigned char>& value);

// The nine most recent files, newest first, kept in the registry as "File1".."File9".
class CRecentFileList {
 public:
  static constexpr int kSize = 9;
  void Load();
  // Puts the path first (moving it when listed already) and stores the list.
  void Add(const std::string& path);
  void Remove(const std::string& path);
  const std::vector<std::string>& Files() const { return files_; }

 private:
  void Store() const;
  std::vector<std::string> files_;
};

}  // namespace orvenna
