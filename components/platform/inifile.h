#pragma once

#include <QString>

// Writing one key of an ini-format file while every other line stays byte for byte as it was.
namespace ini {

// Sets `key` in `section` to `value`: an existing value of the key is replaced, a missing key
// or section is added, a missing file is created. Throws EngineError naming the file when it
// cannot be read or written.
void writeKey(const QString& path, const QString& section, const QString& key,
              const QString& value);

} // namespace ini
