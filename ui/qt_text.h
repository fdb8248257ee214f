#pragma once
#include <QString>
#include <string>

namespace qelvo::ui {

inline QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string S(const QString& s) { return s.toUtf8().toStdString(); }

}  // namespace qelvo::ui
