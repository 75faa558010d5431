// SPDX-License-Identifier: MIT
// The texts the program builds when it shows them.
#include "base/messages.h"

namespace turnlet {

namespace {

struct Pair {
    const char* english;
    const char* russian;
};

Pair PairOf(ShownText text) {
    switch (text) {
        case ShownText::NoImagesLoaded:
            return {"No images loaded!", "Изображения не загружены!"};
        case ShownText::ExportFinished:
            return {"Export finished!", "Экпорт закончен!"};
        case ShownText::AboutCaption:
            return {"About", "О программе"};
        case ShownText::AboutVersion:
            return {"Version 3.0", "Версия 3.0"};
        case ShownText::StatusSource:
            return {"Source: (", "Источник: ("};
        case ShownText::StatusArea:
            return {"Area: (", "Область: ("};
        case ShownText::StatusAllImages:
            return {"All images: ", "Изображений: "};
        case ShownText::StatusSelectedImages:
            return {"Selected images: ", "Выбранно: "};
        case ShownText::FramesRepeat:
            return {"Frames will repeat (frames in the turn: ", "Кадры будут повторяться (кадров в обороте: "};
    }
    return {nullptr, nullptr};
}

}  // namespace

const char* TextFor(ShownText text, std::string_view languageCode) {
    const Pair pair = PairOf(text);
    if (languageCode == "en") return pair.english;
    if (languageCode == "ru") return pair.russian;
    return nullptr;
}

}  // namespace turnlet
