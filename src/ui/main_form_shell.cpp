// The main window's shell: tool bar, menus, page switching and the dialogs opened from them.
#include "ui/dialogs.h"
#include "ui/main_form.h"

namespace kd::ui {

namespace {

// Tool-bar positions of the two-state controller buttons: the first eight of the bar.
constexpr std::size_t kCheckButtons = 8;

}  // namespace

view::Button& MainForm::ToolButton(const char* name, const char* hint, bool separatorAfter) {
  auto& button = Add<view::Button>(name);
  button.SetHint(hint);
  button.SetSeparatorAfter(separatorAfter);
  toolBar_.push_back(&button);
  return button;
}

view::MenuItem& MainForm::MenuEntry(view::MenuItem& menu, std::string_view name,
                                    std::string_view caption, std::string_view shortcut,
                                    int radioGroup) {
  auto& item = Add<view::MenuItem>(std::string(name), std::string(caption), std::string(shortcut),
                                   radioGroup);
  menu.Items().push_back(&item);
  return item;
}

void MainForm::BuildShell() {
  // Tool bar, left to right.
  auto& newButton = ToolButton("NewButton", "Новый файл конфигурации");
  auto& loadButton = ToolButton("LoadButton", "Загрузить файл конфигурации.");
  auto& saveButton = ToolButton("SaveButton", "Записать файл конфигурации", true);
  auto& comButton = ToolButton("ComButton", "Смена порта", true);
  const auto& order = catalogue::ToolbarOrder();
  for (std::size_t i = 0; i < order.size(); ++i) {
    const auto& info = catalogue::Lookup(order[i]);
    const std::uint32_t code = info.code;
    auto& button = Add<view::Button>(std::string(info.toolButton));
    button.SetHint(std::string(info.toolHint));
    button.SetCheckable(i < kCheckButtons);
    button.SetSeparatorAfter(i + 1 == order.size());
    button.OnClick = [this, code] { SelectEcuType(code); };
    typeButtons_[i] = &button;
    toolBar_.push_back(&button);
  }
  sideWindowButtons_ = {&ToolButton("ToolButton7", "ЕвроОБД-14230 "),
                        &ToolButton("ToolButton12", "", true),
                        &ToolButton("ButtonImmo", "Иммобилизатор АПС4"),
                        &ToolButton("ToolButton13", "Иммобилизатор АПС6", true),
                        &ToolButton("SAUOButton", "Диагностика САУО", true)};
  ToolButton("GraphButton", "Графический режим").SetCheckable(true);
  ToolButton("ToolButton14", "", true);
  auto& aboutButton = ToolButton("AboutButton", "О программе!");
  auto& helpButton = ToolButton("ToolButton9", "Краткая помощь", true);
  auto& exitButton = ToolButton("ToolButton11", "Выход из программы");

  // Main menu.
  auto& file1 = Add<view::MenuItem>("File1", "&Файл");
  auto& new1 = MenuEntry(file1, "New1", "Создать Конфиг.");
  auto& open1 = MenuEntry(file1, "Open1", "Откр. Конфиг.");
  auto& save1 = MenuEntry(file1, "Save1", "Сохран.Конфиг.");
  MenuEntry(file1, "NewDAT1", "Новые Данные");
  MenuEntry(file1, "SaveDAT1", "Сохран.Данные");
  MenuEntry(file1, "N1", "-");
  auto& fontPar = MenuEntry(file1, "Font_par", "Фонт Параметров");
  auto& print1 = MenuEntry(file1, "Print1", "Печать");
  auto& printSetup1 = MenuEntry(file1, "PrintSetup1", "Настройка печати");
  MenuEntry(file1, "N2", "-");
  auto& exit1 = MenuEntry(file1, "Exit1", "В&ыход");

  auto& options1 = Add<view::MenuItem>("Options1", "Опции");
  auto& comPort = MenuEntry(options1, "ComPort", "Выбор порта");
  MenuEntry(options1, "AdapterTest1", "Проверка адаптера…").OnClick = [this] { ShowAdapterTest(); };
  MenuEntry(options1, "N6", "Графич.Режим");
  fastPoll1_ = &MenuEntry(options1, "FastPoll1", "Быстрый опрос");
  fastPoll1_->SetCheckable(true);
  fastPoll1_->SetChecked(FastPoll());
  fastPoll1_->OnClick = [this] { SetFastPoll(!FastPoll(), true); };

  auto& indicator = Add<view::MenuItem>("Indicator", "Индицировать");
  for (std::size_t i = 0; i < session::kPageCount; ++i) {
    const auto& page = session::MainPages()[i];
    auto& item = MenuEntry(indicator, page.menuItem, page.menuCaption, page.shortcut, 2);
    item.OnClick = [this, i] { ChoosePageByMenu(static_cast<int>(i)); };
    indicatorItems_[i] = &item;
  }
  indicatorItems_[0]->SetChecked(true);

  typeblock1_.SetCaption("Тип контроллера");
  for (std::size_t i = 0; i < order.size(); ++i) {
    const auto& info = catalogue::Lookup(order[i]);
    const std::uint32_t code = info.code;
    auto& item = MenuEntry(typeblock1_, info.menuItem, info.menuCaption, "", 1);
    if (info.menuItemSelects) item.OnClick = [this, code] { SelectEcuType(code); };
    typeMenuItems_[i] = &item;
  }
  auto& about1 = Add<view::MenuItem>("About1", "О программе...");
  mainMenu_ = {&file1, &options1, &indicator, &typeblock1_, &about1};

  newButton.OnClick = new1.OnClick = [this] { NewConfiguration(); };
  loadButton.OnClick = open1.OnClick = [this] { OpenConfigDialog(); };
  saveButton.OnClick = save1.OnClick = [this] { SaveConfigDialog(); };
  comButton.OnClick = comPort.OnClick = [this] { ChoosePort(); };
  aboutButton.OnClick = about1.OnClick = [this] {
    AboutBox about;
    host_.ShowModal(about);
  };
  exitButton.OnClick = exit1.OnClick = [this] { CloseByControl(); };
  helpButton.OnClick = [this] { host_.ShowHelp(std::string(HelpSection())); };
  print1.OnClick = [this] { host_.Print(PageDocument()); };
  printSetup1.OnClick = [this] { host_.PrintSetup(); };
  fontPar.OnClick = [this] {
    if (auto font = host_.FontDialog({stringGrid1_.FontName(), stringGrid1_.FontSize()}))
      stringGrid1_.SetFont(font->name, font->size);
  };

  BuildSideWindows();

  pageControl1_.OnChange = [this] { PageChangedByTab(); };
}

void MainForm::PageChangedByTab() {
  const int page = pageControl1_.ActiveIndex();
  session_.pageTickCount = 0;
  if (session::MainPages()[page].menuFollowsTab) CheckIndicator(page);
  PageChanged(page);
}

void MainForm::ChoosePageByMenu(int page) {
  const bool changed = pageControl1_.ActiveIndex() != page;
  pageControl1_.SetActive(page);
  CheckIndicator(page);
  if (changed) PageChanged(page);
}

void MainForm::CheckIndicator(int page) {
  for (std::size_t i = 0; i < indicatorItems_.size(); ++i)
    indicatorItems_[i]->SetChecked(static_cast<int>(i) == page);
}

void MainForm::PageChanged(int page) {
  // One command field serves every page, each reading the codes its own way: a command left
  // behind would run under the new page's meaning (an actuator "off" as "clear all faults").
  session_.pendingCommand = 0;
  if (session::PageStep* shown = PageObject(static_cast<session::Page>(page))) shown->Shown();
}

void MainForm::ChoosePort() {
  PortDialog dialog(&host_, ports_.get(), Adapter());
  dialog.Preset(portNumber_);
  host_.ShowModal(dialog);
  portNumber_ = dialog.Chosen(portNumber_);
  if (ports_) ChooseAdapter(dialog.ChosenAdapter());
  ReopenPort();
}

}  // namespace kd::ui
