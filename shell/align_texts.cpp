// SPDX-License-Identifier: MIT
// Texts of automatic alignment, English and Russian.
#include "shell/align_texts.h"

namespace turnlet {

const char* AlignTextFor(AlignText text, std::string_view languageCode) {
    const bool ru = languageCode == "ru";
    switch (text) {
        case AlignText::Progress:
            return ru ? "Выравнивание кадров..." : "Aligning frames...";
        case AlignText::Cancel:
            return ru ? "Отмена" : "Cancel";
        case AlignText::ReplaceManual:
            return ru ? "У некоторых кадров уже есть ключевые значения, заданные вручную. Заменить и их?"
                      : "Some frames already have keyframes set by hand. Replace their values too?";
        case AlignText::FindingEnd:
            return ru ? "Поиск конца оборота..." : "Looking for the end of the turn...";
        case AlignText::NoFullTurn:
            return ru ? "Полный оборот не найден." : "No full turn found.";
    }
    return "";
}

std::string UnalignedFramesText(const std::vector<int>& frames, std::string_view languageCode) {
    std::string list;
    for (int frame : frames) list += (list.empty() ? "" : ", ") + std::to_string(frame);
    if (languageCode == "ru")
        return "Не удалось выровнять кадры (их значения сохранены, они выделены в таблице): " + list;
    return "These frames could not be aligned and kept their values (they are selected in the table): " + list;
}

}  // namespace turnlet
