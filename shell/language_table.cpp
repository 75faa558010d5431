// SPDX-License-Identifier: MIT
// The interface texts of every window in English and Russian.
#include "shell/language_table.h"

#include <array>

namespace turnlet {
namespace {

constexpr int kNoColumn = -1;

constexpr std::array<LanguageRow, kLanguageRows> kRows{{
    {"TForm2", "File1", kNoColumn, "&File", "&Файл"},
    {"TForm2", "New1", kNoColumn, "&New", "&Новый"},
    {"TForm2", "Open1", kNoColumn, "&Open", "&Открыть"},
    {"TForm2", "Reopen1", kNoColumn, "&Reopen", "&Последние"},
    {"TForm2", "Save1", kNoColumn, "&Save", "&Сохранить"},
    {"TForm2", "Saveas1", kNoColumn, "Save &as", "Сохранить &как"},
    {"TForm2", "Exit1", kNoColumn, "E&xit", "&Выход"},
    {"TForm2", "Export1", kNoColumn, "E&xport", "&Экспорт"},
    {"TForm2", "Language1", kNoColumn, "&Language", "&Язык"},
    {"TForm2", "English1", kNoColumn, "&English", "&English"},
    {"TForm2", "N6", kNoColumn, "&Русский", "&Русский"},
    {"TForm2", "Help1", kNoColumn, "&Help", "По&мощь"},
    {"TForm2", "Context1", kNoColumn, "&Context", "&Справка"},
    {"TForm2", "About1", kNoColumn, "&About", "&О программе"},
    {"TForm2", "Options1", kNoColumn, "&Options", "&Настройки"},
    {"TForm2", "Backgroundcolor1", kNoColumn, "&Background color", "&Цвет фона"},
    {"TForm2", "TabSheet1", kNoColumn, "Import images", "Импорт изображений"},
    {"TForm2", "TabSheet2", kNoColumn, "First and last frames", "Крайние изображения"},
    {"TForm2", "TabSheet3", kNoColumn, "Tune positions", "Подгонка положения изображений"},
    {"TForm2", "TabSheet5", kNoColumn, "Two images", "Два изображения"},
    {"TForm2", "TabSheet6", kNoColumn, "Interlace mode", "Черезстрочный режим"},
    {"TForm2", "Button8", kNoColumn, "Import from video", "Взять из видео"},
    {"TForm2", "Button9", kNoColumn, "Add images", "Добавить"},
    {"TForm2", "Button10", kNoColumn, "Clear list", "Очистить список"},
    {"TForm2", "GroupBox2", kNoColumn, "Rotate and crop", "Вращение и обрезка"},
    {"TForm2", "Label2", kNoColumn, "Left", "Слева"},
    {"TForm2", "Label1", kNoColumn, "Top", "Верх"},
    {"TForm2", "Label3", kNoColumn, "Width", "Ширина"},
    {"TForm2", "Label4", kNoColumn, "Height", "Высота"},
    {"TForm2", "Button1", kNoColumn, "No crop", "Не обрезать"},
    {"TForm2", "Label5", kNoColumn, "First frame", "Первый кадр"},
    {"TForm2", "Label6", kNoColumn, "Last frame", "Последний кадр"},
    {"TForm2", "BitBtn1", kNoColumn, "Previous pair", "Предыдущая пара"},
    {"TForm2", "BitBtn2", kNoColumn, "Next pair", "Следующая пара"},
    {"TForm2", "Button2", kNoColumn, "Previous", "Назад"},
    {"TForm2", "Button3", kNoColumn, "Clear keyframe", "Очистить"},
    {"TForm2", "Button11", kNoColumn, "Clear all keyframes", "Очистить все"},
    {"TForm2", "Button4", kNoColumn, "Parameters", "Параметры"},
    {"TForm2", "Button5", kNoColumn, "Next", "Далее"},
    {"TForm2", "Label9", kNoColumn, "Interlace with", "Показать с"},
    {"TForm2", "StringGrid1", 1, "Keyframe", "Ключевой"},
    {"TForm2", "StringGrid1", 4, "Angle", "Угол"},
    {"TForm2", "StringGrid1", 5, "Scale", "Масштаб"},
    {"TForm2", "StringGrid1", 6, "Brightness", "Яркость"},
    {"TForm2", "StringGrid1", 7, "Contrast", "Контраст"},
    {"TForm2", "StringGrid1", 8, "Gamma", "Гамма"},
    {"TAboutBox", "", kNoColumn, "About", "О программе"},
    {"TForm3", "", kNoColumn, "Import from video", "Импорт из видео"},
    {"TForm3", "Label1", kNoColumn, "Source video", "Исходное видео"},
    {"TForm3", "Label3", kNoColumn, "Pictures directory", "Каталог с картинками"},
    {"TForm3", "Label4", kNoColumn, "Images format", "Формат изображений"},
    {"TForm3", "Button1", kNoColumn, "Select", "Выбрать"},
    {"TForm3", "Button2", kNoColumn, "Not installed?", "Не установлен?"},
    {"TForm3", "Button3", kNoColumn, "Select", "Выбрать"},
    {"TForm3", "Button4", kNoColumn, "Select", "Выбрать"},
    {"TForm3", "Button5", kNoColumn, "Extract video to pictures directory", "Конвертировать видео в изображения"},
    {"TForm3", "Button6", kNoColumn, "Close", "Закрыть"},
    {"TForm8", "", kNoColumn, "Export", "Экспорт"},
    {"TForm8", "Label1", kNoColumn, "Number of frames", "Кол-во кадров"},
    {"TForm8", "Label3", kNoColumn, "Images type", "Тип изображений"},
    {"TForm8", "Label2", kNoColumn, "Directory", "Каталог"},
    {"TForm8", "Button1", kNoColumn, "Select", "Выбрать"},
    {"TForm8", "Button2", kNoColumn, "Export result images", "Экспортировать"},
    {"TForm8", "Button3", kNoColumn, "Stop", "Стоп"},
    {"TForm8", "Button4", kNoColumn, "Close", "Закрыть"},
    {"TForm8", "Button5", kNoColumn, "As selection", "Выбранная область"},
    {"TForm8", "Label4", kNoColumn, "Quality", "Качество"},
    {"TForm8", "Label5", kNoColumn, "Width", "Ширина"},
    {"TForm8", "Label6", kNoColumn, "Height", "Высота"},
    {"TForm8", "CheckBox1", kNoColumn, "Proportional", "Пропорционально"},
    {"TForm8", "CheckBox2", kNoColumn, "Make HTML5 viewer", "Создать HTML5 просмотровщик"},
    {"TForm9", "", kNoColumn, "Parameters", "Параметры"},
    {"TForm9", "Label1", kNoColumn, "Angle", "Угол"},
    {"TForm9", "Label2", kNoColumn, "Scale", "Масштаб"},
    {"TForm9", "Label3", kNoColumn, "Brightness", "Яркость"},
    {"TForm9", "Label4", kNoColumn, "Contrast", "Контраст"},
    {"TForm9", "Label5", kNoColumn, "Gamma", "Гамма"},
    {"TForm9", "Button1", kNoColumn, "Default values", "Значения по умолчанию"},
}};

// Sized by its rows, so a control added later is one line.
constexpr LanguageRow kAddedRows[] = {
    {"TForm8", "CheckBox3", kNoColumn, "Smooth resize", "Сглаженное масштабирование"},
    {"TForm8", "CheckBox4", kNoColumn, "Half and double sizes", "Половинный и двойной размер"},
    {"TForm2", "Button12", kNoColumn, "Auto-align", "Автовыравнивание"},
    {"TForm2", "Autoalign1", kNoColumn, "&Auto-align", "&Автовыравнивание"},
    {"TForm2", "Editmenu1", kNoColumn, "&Edit", "&Правка"},
    {"TForm2", "BitBtn3", kNoColumn, "Find end of turn", "Найти конец оборота"},
    {"TForm8", "CheckBox5", kNoColumn, "Zoom set at full resolution", "Набор для увеличения в полном разрешении"},
    {"TForm8", "CheckBox6", kNoColumn, "MP4 video of one turn", "Видео MP4 одного оборота"},
    {"TForm8", "CheckBox7", kNoColumn, "Animated WebP of one turn", "Анимированный WebP одного оборота"},
};

}  // namespace

std::span<const LanguageRow> LanguageTable() {
    return kRows;
}

std::span<const LanguageRow> AddedLanguageRows() {
    return kAddedRows;
}

const char* LanguageText(const LanguageRow& row, std::string_view languageCode) {
    if (languageCode == "en") return row.english;
    if (languageCode == "ru") return row.russian;
    return nullptr;
}

}  // namespace turnlet
