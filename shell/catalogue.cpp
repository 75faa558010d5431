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
                "{1} of {2} frames show only the background colour, because their photos are not JPEG, PNG, "
                "BMP, WebP or AVIF pictures:\n{3}",
                "{1} из {2} кадров содержат только цвет фона, потому что их снимки не являются изображениями "
                "JPEG, PNG, BMP, WebP или AVIF:\n{3}"};
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
        case Msg::ExportVideoFailed:
            return {"The video of the turn was not made: {1}", "Видео оборота не создано: {1}"};
        case Msg::ExportNoFfmpeg:
            return {
                "The MP4 video is made by FFmpeg, but \"{1}\" cannot be run. Install FFmpeg or give its "
                "location under \"Import from video\". Export without the MP4?",
                "Видео MP4 создаётся программой FFmpeg, но «{1}» не запускается. Установите FFmpeg или "
                "укажите его расположение в окне «Взять из видео». Экспортировать без MP4?"};
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
            return {"&Undo {1}", "&Отменить: {1}"};
        case Msg::Redo:
            return {"&Redo {1}", "&Повторить: {1}"};
        case Msg::UndoNothing:
            return {"&Undo", "&Отменить"};
        case Msg::RedoNothing:
            return {"&Redo", "&Повторить"};
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
        case Msg::ButtonOk:
            return {"OK", "ОК"};
        case Msg::ButtonYes:
            return {"&Yes", "&Да"};
        case Msg::ButtonNo:
            return {"&No", "&Нет"};
        case Msg::ButtonSave:
            return {"&Save", "&Сохранить"};
        case Msg::ButtonDiscard:
            return {"&Discard", "&Не сохранять"};
        case Msg::ButtonCancel:
            return {"Cancel", "Отмена"};
        case Msg::TitleOpenProject:
            return {"Open", "Открыть"};
        case Msg::TitleSaveProject:
            return {"Save as", "Сохранить как"};
        case Msg::TitleAddImages:
            return {"Add images", "Добавить изображения"};
        case Msg::FilterProject:
            return {"Turnlet Project", "Проект Turnlet"};
        case Msg::FilterAllFiles:
            return {"All files", "Все файлы"};
        case Msg::FilterAllPictures:
            return {"All", "Все"};
        case Msg::FilterJpeg:
            return {"JPEG Image File", "Изображения JPEG"};
        case Msg::FilterPng:
            return {"Portable Network Graphics", "Изображения PNG"};
        case Msg::FilterBitmaps:
            return {"Bitmaps", "Точечные рисунки BMP"};
        case Msg::FilterVideo:
            return {"Video files", "Видеофайлы"};
        case Msg::FailNoMemory:
            return {"Not enough memory for this command.", "Для этой команды не хватает памяти."};
        case Msg::FailUnexpected:
            return {"Unexpected failure.", "Непредвиденный сбой."};
        case Msg::VideoNoFfmpeg:
            return {"Choose the FFmpeg program first (\"Select\" beside FFMPEG).",
                    "Сначала укажите программу FFmpeg (\"Выбрать\" рядом с FFMPEG)."};
        case Msg::VideoNoSource:
            return {"Choose the source video first.", "Сначала выберите исходное видео."};
        case Msg::VideoSourceMissing:
            return {"{1}: the video file does not exist.", "{1}: такого видеофайла нет."};
        case Msg::VideoNoFolder:
            return {"Choose the pictures directory first.", "Сначала выберите каталог для картинок."};
        case Msg::VideoFolderMissing:
            return {"{1}: the folder does not exist.", "{1}: такой папки нет."};
        case Msg::VideoReplace:
            return {"{1} already holds numbered pictures of this format. Replace them?",
                    "В {1} уже есть пронумерованные картинки этого формата. Заменить их?"};
        case Msg::VideoExtracting:
            return {"FFmpeg is extracting the pictures of\n{1}", "FFmpeg извлекает картинки из\n{1}"};
        case Msg::VideoNotStarted:
            return {"{1}: FFmpeg could not be started ({2}).", "{1}: не удалось запустить FFmpeg ({2})."};
        case Msg::VideoNotStartedBare:
            return {"{1}: FFmpeg could not be started.", "{1}: не удалось запустить FFmpeg."};
        case Msg::VideoCrashed:
            return {"{1}: FFmpeg ended abnormally; no pictures may be complete.",
                    "{1}: FFmpeg завершился аварийно; картинки могут быть неполными."};
        case Msg::VideoFailed:
            return {"FFmpeg failed (exit code {1}).", "Ошибка FFmpeg (код завершения {1})."};
        case Msg::VideoNothingWritten:
            return {"FFmpeg wrote no picture into {1}.", "FFmpeg не записал ни одной картинки в {1}."};
        case Msg::VideoOnePicture:
            return {"1 picture written to {1}. Add them with \"Add images\".",
                    "Записана 1 картинка в {1}. Добавьте её кнопкой \"Добавить\"."};
        case Msg::VideoPictures:
            return {"{1} pictures written to {2}. Add them with \"Add images\".",
                    "Записано картинок: {1}, в {2}. Добавьте их кнопкой \"Добавить\"."};
        case Msg::AboutNotice:
            return {"360° views of products from a series of photographs. Free software under the MIT licence.",
                    "Круговые 360° виды предметов из серии фотографий. Свободная программа под лицензией MIT."};
        case Msg::AboutGuideLink:
            return {"The user guide", "Руководство пользователя"};
        case Msg::AlignProgress:
            return {"Aligning frames...", "Выравнивание кадров..."};
        case Msg::AlignReplaceManual:
            return {"Some frames already have keyframes set by hand. Replace their values too?",
                    "У некоторых кадров уже есть ключевые значения, заданные вручную. Заменить и их?"};
        case Msg::FindingEnd:
            return {"Looking for the end of the turn...", "Поиск конца оборота..."};
        case Msg::NoFullTurn:
            return {"No full turn found.", "Полный оборот не найден."};
        case Msg::OneFullTurn:
            return {"The set already is one full turn.", "Набор уже составляет один полный оборот."};
        case Msg::TurnEndLast:
            return {"Last frame of the turn: {1} (confidence {2}).", "Последний кадр оборота: {1} (уверенность {2})."};
        case Msg::TurnEndRunnerUpFrame:
            return {" Runner-up: frame {1} ({2}).", " Второй вариант: кадр {1} ({2})."};
        case Msg::TurnEndRunnerUpNone:
            return {" Runner-up: no full turn ({1}).", " Второй вариант: полного оборота нет ({1})."};
        case Msg::Percent:
            return {"{1}%", "{1} %"};
        case Msg::UnalignedFrames:
            return {"These frames could not be aligned and kept their values (they are selected in the table): {1}",
                    "Не удалось выровнять кадры (их значения сохранены, они выделены в таблице): {1}"};
        case Msg::AlignConfidence:
            return {"Confidence", "Уверенность"};
        case Msg::AlignConfidenceTip:
            return {
                "How sure the last Auto-align is of the frame's values: below 50 % it left the frame as it was; "
                "check the frames marked in colour",
                "Насколько последнее автовыравнивание уверено в значениях кадра: ниже 50 % кадр оставлен "
                "как был; проверьте кадры, отмеченные цветом"};
        case Msg::BatchTitle:
            return {"Batch export", "Пакетный экспорт"};
        case Msg::BatchNoPhotos:
            return {"no photos (JPEG, PNG, BMP, WebP or AVIF files) in {1}",
                    "в папке {1} нет снимков (файлов JPEG, PNG, BMP, WebP или AVIF)"};
        case Msg::BatchTooFewPhotos:
            return {
                "too few photos: {1} found; the template's turn skips {2} at the start and leaves {3} off at the "
                "end, and a turn needs at least {4}",
                "слишком мало снимков: найдено {1}; оборот шаблона пропускает {2} в начале и {3} в конце, а "
                "обороту нужно не меньше {4}"};
        case Msg::BatchNoFullTurn:
            return {"no full turn found among the photos", "среди снимков не найден полный оборот"};
        case Msg::BatchCropDoesNotFit:
            return {"the template's crop ({1} x {2} at {3}, {4}) does not fit these photos ({5} x {6} as turned)",
                    "область кадрирования шаблона ({1} x {2} от {3}, {4}) не помещается в эти снимки ({5} x {6} "
                    "после поворота)"};
        case Msg::BatchSameName:
            return {"another folder of the batch has the same name: {1}", "у другой папки пакета то же имя: {1}"};
        case Msg::BatchBlankFrames:
            return {"{1} frames came out blank: {2} is not a picture of a type Turnlet reads",
                    "кадров без изображения: {1}; {2} не является изображением известного Turnlet типа"};
        case Msg::BatchStateDone:
            return {"Done", "Готово"};
        case Msg::BatchStateSkipped:
            return {"Done earlier", "Готово ранее"};
        case Msg::BatchStateFailed:
            return {"Failed", "Ошибка"};
        case Msg::BatchStateStopped:
            return {"Stopped", "Остановлено"};
        case Msg::BatchFoldersLabel:
            return {"Product folders (the photos of one product in each):",
                    "Папки изделий (в каждой снимки одного изделия):"};
        case Msg::BatchAddFolder:
            return {"Add folder…", "Добавить папку…"};
        case Msg::BatchAddFoldersInside:
            return {"Add the folders inside…", "Добавить вложенные папки…"};
        case Msg::BatchRemoveFolders:
            return {"Remove", "Убрать"};
        case Msg::BatchOutputLabel:
            return {"Output folder (each product in a folder of its name):",
                    "Папка результата (каждое изделие в папке со своим именем):"};
        case Msg::BatchBrowse:
            return {"Browse…", "Обзор…"};
        case Msg::BatchAlign:
            return {"Align each product (as Auto-align)", "Выравнивать каждое изделие (как «Автовыравнивание»)"};
        case Msg::BatchFindLast:
            return {"Cut each product to one full turn (as Find end of turn)",
                    "Обрезать каждое изделие до одного оборота (как «Найти конец оборота»)"};
        case Msg::BatchForce:
            return {"Redo products done earlier", "Переделать готовые ранее изделия"};
        case Msg::BatchJobs:
            return {"Products at once:", "Изделий одновременно:"};
        case Msg::BatchStart:
            return {"Start", "Начать"};
        case Msg::BatchStop:
            return {"Stop", "Остановить"};
        case Msg::BatchClose:
            return {"Close", "Закрыть"};
        case Msg::BatchColumnProduct:
            return {"Product", "Изделие"};
        case Msg::BatchColumnStatus:
            return {"Status", "Состояние"};
        case Msg::BatchColumnFrames:
            return {"Frames", "Кадры"};
        case Msg::BatchColumnMessage:
            return {"Message", "Сообщение"};
        case Msg::BatchStageFindingTurn:
            return {"finding the end of the turn", "поиск конца оборота"};
        case Msg::BatchStageAligning:
            return {"aligning", "выравнивание"};
        case Msg::BatchStageExporting:
            return {"exporting", "экспорт"};
        case Msg::BatchProgress:
            return {"Products finished: {1} of {2}. {3}: {4} {5} of {6}",
                    "Готово изделий: {1} из {2}. {3}: {4} {5} из {6}"};
        case Msg::BatchTimeLeft:
            return {"about {1} left", "осталось около {1}"};
        case Msg::BatchSummary:
            return {"{1} done, {2} done earlier, {3} failed, {4} stopped.",
                    "Готово: {1}, готово ранее: {2}, с ошибкой: {3}, остановлено: {4}."};
        case Msg::BatchReportWritten:
            return {"Report: {1}", "Отчёт: {1}"};
        case Msg::BatchReportFailed:
            return {"The report could not be written: {1}", "Не удалось записать отчёт: {1}"};
        case Msg::BatchNoFolders:
            return {"Add at least one product folder.", "Добавьте хотя бы одну папку изделия."};
        case Msg::BatchNoOutput:
            return {"Choose the output folder.", "Выберите папку результата."};
        case Msg::BatchStopQuestion:
            return {"A batch is running. Stop it? The product in hand is left for the next run.",
                    "Идёт пакетный экспорт. Остановить? Текущее изделие будет сделано при следующем запуске."};
        case Msg::BatchStopping:
            return {"Stopping…", "Остановка…"};
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
