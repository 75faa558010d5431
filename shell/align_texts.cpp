// SPDX-License-Identifier: MIT
// Texts of automatic alignment, English and Russian.
#include "shell/align_texts.h"

#include <algorithm>
#include <cmath>

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
        case AlignText::OneFullTurn:
            return ru ? "Набор уже составляет один полный оборот." : "The set already is one full turn.";
    }
    return "";
}

std::string TurnEndText(bool oneTurn, int last, double confidence, int runnerUp, double runnerUpConfidence,
                        std::string_view languageCode) {
    const bool ru = languageCode == "ru";
    auto percent = [ru](double share) {
        return std::to_string(std::lround(std::clamp(share, 0.0, 1.0) * 100)) + (ru ? " %" : "%");
    };
    std::string text;
    if (oneTurn) text = std::string(AlignTextFor(AlignText::OneFullTurn, languageCode)) + " ";
    text += (ru ? "Последний кадр оборота: " : "Last frame of the turn: ") + std::to_string(last) +
            (ru ? " (уверенность " : " (confidence ") + percent(confidence) + ").";
    if (runnerUpConfidence >= 0.005) {
        text += ru ? " Второй вариант: " : " Runner-up: ";
        if (runnerUp < 0)
            text += ru ? "полного оборота нет" : "no full turn";
        else
            text += (ru ? "кадр " : "frame ") + std::to_string(runnerUp);
        text += " (" + percent(runnerUpConfidence) + ").";
    }
    return text;
}

std::string UnalignedFramesText(const std::vector<int>& frames, std::string_view languageCode) {
    std::string list;
    for (int frame : frames) list += (list.empty() ? "" : ", ") + std::to_string(frame);
    if (languageCode == "ru")
        return "Не удалось выровнять кадры (их значения сохранены, они выделены в таблице): " + list;
    return "These frames could not be aligned and kept their values (they are selected in the table): " + list;
}

}  // namespace turnlet
