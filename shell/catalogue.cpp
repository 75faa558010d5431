// SPDX-License-Identifier: MIT
// The catalogue of shown texts, English and Russian.
#include "shell/catalogue.h"

namespace turnlet {
namespace {

struct Pair {
    const char* english;
    const char* russian;
};

Pair PairOf(Msg message) {
    switch (message) {
        case Msg::NoImagesLoaded:
            return {"No images loaded!", "Изображения не загружены!"};
        case Msg::ExportFinished:
            return {"Export finished!", "Экспорт закончен!"};
        case Msg::AboutCaption:
            return {"About", "О программе"};
        case Msg::AboutVersion:
            return {"Version 3.0", "Версия 3.0"};
        case Msg::StatusSource:
            return {"Source: (", "Источник: ("};
        case Msg::StatusArea:
            return {"Area: (", "Область: ("};
        case Msg::StatusAllImages:
            return {"All images: ", "Изображений: "};
        case Msg::StatusSelectedImages:
            return {"Selected images: ", "Выбрано: "};
        case Msg::FramesRepeat:
            return {"Frames will repeat (frames in the turn: ", "Кадры будут повторяться (кадров в обороте: "};
        case Msg::WrongFileType:
            return {"Wrong file type!", "Неверный тип файла!"};
        case Msg::ExportFinishedWithProblems:
            return {"Export finished, but not every frame came out right.",
                    "Экспорт закончен, но не все кадры получились."};
        case Msg::ExportBlankFrames:
            return {
                "{1} of {2} frames show only the background colour, because their photos are not JPEG, PNG or "
                "BMP pictures:\n{3}",
                "{1} из {2} кадров содержат только цвет фона, потому что их снимки не являются изображениями "
                "JPEG, PNG или BMP:\n{3}"};
        case Msg::ExportProblemLine:
            return {"{1}: {2}", "{1}: {2}"};
        case Msg::ExportStopped:
            return {"Export stopped: {1} of {2} frames written.", "Экспорт остановлен: записано кадров: {1} из {2}."};
        case Msg::ExportFailed:
            return {"Export failed: {3}\n{1} of {2} frames written.",
                    "Экспорт прерван: {3}\nЗаписано кадров: {1} из {2}."};
        case Msg::ExportPageShortened:
            return {"The viewer page shows those {1} frames.", "Страница просмотра показывает эти кадры ({1})."};
        case Msg::ExportPageRemoved:
            return {"No frame was written, so the viewer page was removed.",
                    "Ни один кадр не записан, поэтому страница просмотра удалена."};
        case Msg::ExportPageFailed:
            return {"The viewer page could not be updated: {1}", "Не удалось обновить страницу просмотра: {1}"};
        case Msg::ExportNothingToExport:
            return {"There is nothing to export: the project has no photos.",
                    "Нечего экспортировать: в проекте нет снимков."};
        case Msg::ExportCreateFolder:
            return {"The export folder {1} does not exist. Create it?",
                    "Папка экспорта {1} не существует. Создать её?"};
        case Msg::ExportFolderFailed:
            return {"The export folder cannot be created: {1}", "Не удалось создать папку экспорта: {1}"};
        case Msg::ExportSizeDistorts:
            return {"{1} × {2} is not the crop's shape ({3} × {4}): the frames will be stretched.",
                    "{1} × {2} не совпадает с формой области ({3} × {4}): кадры будут искажены."};
        case Msg::ExportStopQuestion:
            return {"An export is running. Stop it?", "Идёт экспорт. Остановить его?"};
        case Msg::OpenFolder:
            return {"Open folder", "Открыть папку"};
        case Msg::GuideMissing:
            return {"{1}: the user guide is missing from the program's folder.",
                    "{1}: руководства пользователя нет в папке программы."};
        case Msg::NoBrowser:
            return {"{1}: no web browser could be started to show the user guide.",
                    "{1}: не удалось запустить веб-браузер, чтобы показать руководство."};
        case Msg::UnsavedChanges:
            return {"The project {1} has changes that are not saved. Save them first?",
                    "В проекте {1} есть несохранённые изменения. Сохранить их?"};
        case Msg::Untitled:
            return {"Untitled", "Без имени"};
        case Msg::Undo:
            return {"Undo {1}", "Отменить: {1}"};
        case Msg::Redo:
            return {"Redo {1}", "Повторить: {1}"};
        case Msg::UndoNothing:
            return {"Undo", "Отменить"};
        case Msg::RedoNothing:
            return {"Redo", "Повторить"};
        case Msg::CommandAddSources:
            return {"adding images", "добавление изображений"};
        case Msg::CommandDeleteSources:
            return {"deleting images", "удаление изображений"};
        case Msg::CommandMoveSources:
            return {"moving an image", "перемещение изображения"};
        case Msg::CommandRotation:
            return {"rotation", "поворот"};
        case Msg::CommandCrop:
            return {"crop", "обрезка"};
        case Msg::CommandFirstFrame:
            return {"first frame", "первый кадр"};
        case Msg::CommandLastFrame:
            return {"last frame", "последний кадр"};
        case Msg::CommandMoveRange:
            return {"moving the pair", "сдвиг пары"};
        case Msg::CommandFrameValues:
            return {"frame values", "параметры кадра"};
        case Msg::CommandDeleteKeyframe:
            return {"clearing the keyframe", "удаление ключевого кадра"};
        case Msg::CommandClearKeyframes:
            return {"clearing all keyframes", "удаление всех ключевых кадров"};
        case Msg::CommandAlignment:
            return {"auto-align", "автовыравнивание"};
        case Msg::CommandExportSettings:
            return {"export settings", "параметры экспорта"};
        case Msg::CommandBackground:
            return {"background colour", "цвет фона"};
        case Msg::CommandLocateSources:
            return {"locating the images", "поиск изображений"};
        case Msg::ReplaceFile:
            return {"{1} already exists. Replace it?", "{1} уже существует. Заменить его?"};
        case Msg::BadFileName:
            return {"{1}: a file name cannot hold *, ?, [ or ].", "{1}: имя файла не может содержать *, ?, [ или ]."};
        case Msg::LeftoverFrames:
            return {
                "The folder holds {1} frame files of an earlier export that this export will not replace (such "
                "as {2}). Remove them, so that the folder holds this export alone?",
                "В папке есть файлы кадров прежнего экспорта ({1}), которые этот экспорт не заменит (например, "
                "{2}). Удалить их, чтобы в папке был только этот экспорт?"};
        case Msg::MissingSources:
            return {
                "{1} of the project's photos are not where the project says (the first: {2}). Were they "
                "moved? Choose the folder they are in now.",
                "Снимков проекта нет на своих местах: {1} (первый: {2}). Их переместили? Выберите папку, где "
                "они теперь."};
        case Msg::LocateSourcesTitle:
            return {"The folder of the photos", "Папка снимков"};
        case Msg::MissingFile:
            return {"The file is missing", "Файл отсутствует"};
    }
    return {"", ""};
}

}  // namespace

Language LanguageOf(std::string_view languageCode) {
    return languageCode == "ru" ? Language::Russian : Language::English;
}

const char* Tr(Msg message, Language language) {
    const Pair pair = PairOf(message);
    return language == Language::Russian ? pair.russian : pair.english;
}

std::string Tr(Msg message, Language language, std::initializer_list<std::string_view> arguments) {
    const std::string_view text = Tr(message, language);
    std::string out;
    out.reserve(text.size() + 64);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t n = i + 2 < text.size() && text[i] == '{' && text[i + 2] == '}' ? text[i + 1] - '1' : 99;
        if (n < arguments.size()) {
            out += arguments.begin()[n];
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace turnlet
