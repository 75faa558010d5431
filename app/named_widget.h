// SPDX-License-Identifier: MIT
// Controls built with their names as objectName, so tests and accessibility tools find them.
#pragma once

#include <QRect>
#include <QString>

#include <string>

namespace turnlet {

template <class Widget>
Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

template <class Widget>
Widget* Named(Widget* widget, const char* name, QRect geometry) {
    Named(widget, name)->setGeometry(geometry);
    return widget;
}

// Our texts are UTF-8.
inline QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace turnlet
