#include "app/SettingsStore.h"

#include <set>

namespace vantrel {

namespace {

std::string JoinPath(const std::vector<std::string>& components) {
  std::string path;
  for (const std::string& c : components) {
    if (!path.empty()) path += '\\';
    path += c;
  }
  return path;
}

std::string NormalisedPath(std::string_view subkey) {
  return JoinPath(SubkeyComponents(subkey));
}

// True when `path` is `parent` itself or lies beneath it; the root holds everything.
bool IsWithin(std::string_view path, std::string_view parent) {
  if (parent.empty()) return true;
  if (!path.starts_with(parent)) return false;
  return path.size() == parent.size() || path[parent.size()] == '\\';
}

}  // namespace

std::vector<std::string> SubkeyComponents(std::string_view subkey) {
  std::vector<std::string> components;
  size_t start = 0;
  while (start <= subkey.size()) {
    size_t end = subkey.find('\\', start);
    if (end == std::string_view::npos) end = subkey.size();
    if (end > start) components.emplace_back(subkey.substr(start, end - start));
    start = end + 1;
  }
  return components;
}

std::optional<bool> SettingsStore::ReadFlag(std::string_view subkey, std::string_view name) const {
  const std::optional<int32_t> value = ReadInteger(subkey, name);
  if (!value) return std::nullopt;
  return *value != 0;
}

const MemorySettingsStore::Value* MemorySettingsStore::Find(std::string_view subkey,
                                                            std::string_view name) const {
  const auto key = keys_.find(NormalisedPath(subkey));
  if (key == keys_.end()) return nullptr;
  const auto value = key->second.find(name);
  return value == key->second.end() ? nullptr : &value->second;
}

std::optional<std::string> MemorySettingsStore::ReadText(std::string_view subkey,
                                                         std::string_view name) const {
  const Value* value = Find(subkey, name);
  if (value == nullptr || !std::holds_alternative<std::string>(*value)) return std::nullopt;
  return std::get<std::string>(*value);
}

std::optional<int32_t> MemorySettingsStore::ReadInteger(std::string_view subkey,
                                                        std::string_view name) const {
  const Value* value = Find(subkey, name);
  if (value == nullptr || !std::holds_alternative<int32_t>(*value)) return std::nullopt;
  return std::get<int32_t>(*value);
}

void MemorySettingsStore::WriteText(std::string_view subkey, std::string_view name,
                                    std::string_view value) {
  keys_[NormalisedPath(subkey)].insert_or_assign(std::string(name), std::string(value));
}

void MemorySettingsStore::WriteInteger(std::string_view subkey, std::string_view name,
                                       int32_t value) {
  keys_[NormalisedPath(subkey)].insert_or_assign(std::string(name), value);
}

bool MemorySettingsStore::SubkeyExists(std::string_view subkey) const {
  const std::string path = NormalisedPath(subkey);
  if (path.empty()) return true;
  // Keys sharing the prefix are contiguous, but "A B" sorts between "A" and "A\B".
  for (auto it = keys_.lower_bound(path); it != keys_.end() && it->first.starts_with(path); ++it) {
    if (IsWithin(it->first, path)) return true;
  }
  return false;
}

std::vector<std::string> MemorySettingsStore::ListSubkeys(std::string_view subkey) const {
  const std::string path = NormalisedPath(subkey);
  const size_t skip = path.empty() ? 0 : path.size() + 1;
  std::set<std::string> names;
  for (auto it = keys_.lower_bound(path); it != keys_.end() && it->first.starts_with(path); ++it) {
    if (!IsWithin(it->first, path) || it->first.size() <= skip) continue;
    const std::string_view rest = std::string_view(it->first).substr(skip);
    names.emplace(rest.substr(0, rest.find('\\')));
  }
  return {names.begin(), names.end()};
}

void MemorySettingsStore::DeleteSubkey(std::string_view subkey) {
  const std::string path = NormalisedPath(subkey);
  if (path.empty()) return;
  auto it = keys_.lower_bound(path);
  while (it != keys_.end() && it->first.starts_with(path)) {
    it = IsWithin(it->first, path) ? keys_.erase(it) : std::next(it);
  }
}

std::optional<int32_t> GroupReader::NextInteger(std::string_view name, int64_t min, int64_t max) {
  if (!ok_) return std::nullopt;
  const std::optional<int32_t> value = store_.ReadInteger(subkey_, name);
  if (!value || *value < min || *value > max) {
    Fail();
    return std::nullopt;
  }
  return value;
}

GroupReader& GroupReader::Text(std::string_view name, std::string& value) {
  if (!ok_) return *this;
  if (std::optional<std::string> read = store_.ReadText(subkey_, name)) {
    Accept(value, std::move(*read));
  } else {
    Fail();
  }
  return *this;
}

GroupReader& GroupReader::Flag(std::string_view name, bool& value) {
  if (!ok_) return *this;
  if (const std::optional<bool> read = store_.ReadFlag(subkey_, name)) {
    Accept(value, *read);
  } else {
    Fail();
  }
  return *this;
}

void GroupReader::Fail() {
  ok_ = false;
  // Latest first, so a variable bound twice ends with its oldest value.
  for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) (*it)();
  undo_.clear();
}

}  // namespace vantrel
