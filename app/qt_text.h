// The program's UTF-8 texts as Qt strings and back.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace vorlix {

inline QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

inline std::string utf8(const QString& s) { return s.toUtf8().toStdString(); }

}  // namespace vorlix
