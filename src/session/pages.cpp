#include "session/pages.h"

namespace kd::session {

namespace {

constexpr unsigned kAll = kKwpFamily | kEscapedFamily | kGmFamily;
constexpr unsigned kKwpEscaped = kKwpFamily | kEscapedFamily;

// clang-format off
constexpr std::array<PageInfo, kPageCount> kPages = {{
    {Page::Params,    "TabSheet1", "Переменные",     "Param_menu",    "Параметры ",     "Ctrl+F1", true,  kAll},
    {Page::Faults,    "TabSheet2", "Ошибки",         "Error_menu",    "Ошибки ",        "Ctrl+F2", true,  kAll},
    {Page::Idents,    "TabSheet3", "Идентификаторы", "Ident_menu",    "Идентификаторы", "Ctrl+F3", true,  kKwpEscaped},
    {Page::Equipment, "TabSheet5", "Комплектация",   "Complect_menu", "Комплектация",   "Ctrl+F4", true,  kKwpEscaped},
    {Page::Adc,       "TabSheet6", "АЦП",            "ADC_menu",      "АЦП",            "Ctrl+F5", true,  kKwpEscaped},
    {Page::Fuel,      "TabSheet4", "Топливо",        "Memory_menu",   "Память Топ.",    "Ctrl+F6", true,  kKwpFamily},
    {Page::Knock,     "TabSheet7", "Об.УОЗ",         "N3",            "Память УОЗ",     "Ctrl+F7", false, kKwpFamily},
    {Page::Misfire,   "TabSheet8", "Пропуски Заж.",  "N4",            "Пропуски Заж.",  "Ctrl+F8", false, kKwpFamily},
    {Page::Trip,      "TabSheet9", "Парам.Экспл.",   "N5",            "Пар.Экспл.",     "Ctrl+F9", false, kKwpFamily},
}};
// clang-format on

constexpr bool InTabOrder() {
  for (std::size_t i = 0; i < kPages.size(); ++i)
    if (static_cast<std::size_t>(kPages[i].id) != i) return false;
  return true;
}
static_assert(InTabOrder());

unsigned Bit(catalogue::LinkFamily family) {
  switch (family) {
    case catalogue::LinkFamily::Kwp2000:
      return kKwpFamily;
    case catalogue::LinkFamily::Escaped:
      return kEscapedFamily;
    case catalogue::LinkFamily::Gm:
      return kGmFamily;
  }
  return 0;
}

}  // namespace

bool PageInfo::RunsOn(catalogue::LinkFamily family) const { return (families & Bit(family)) != 0; }

const std::array<PageInfo, kPageCount>& MainPages() { return kPages; }

const PageInfo& PageInfoOf(Page page) {
  const auto i = static_cast<std::size_t>(page);
  return kPages[i < kPages.size() ? i : 0];
}

std::vector<view::Page> MainTabs() {
  std::vector<view::Page> tabs;
  for (const PageInfo& page : kPages)
    tabs.push_back({std::string(page.tab), std::string(page.caption)});
  return tabs;
}

}  // namespace kd::session
