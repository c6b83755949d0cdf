// What a form asks of the world outside it. Qt implements it with real dialogs; the harness with
// queued answers and a fixed clock; tests with whatever they need.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace kd::view {

class Form;

// What a file dialog opens with, as the form sets it up before showing it.
struct FileDialogRequest {
  std::string title;
  std::string defaultExt;  // without the dot: "err"
  std::string filter;      // bare patterns ("*.cfg") or "description|patterns" pairs
  std::string initialDir;  // "." is the working directory; empty leaves it to the dialog
  std::string fileName;    // the name field's preset, often the mask itself: "*.err"
};

struct FontChoice {
  std::string name;
  int size = 0;
};

enum class MessageIcon { None, Information, Warning, Error, Question };

struct LocalTime {
  int year = 2024, month = 1, day = 1, hour = 12, minute = 0, second = 0, millisecond = 0;
};

// A page laid out for printing, in UTF-8: the report header's lines, then the page's report as
// its save writes it, or its table when it saves nothing.
struct PrintDocument {
  std::string title;
  std::vector<std::string> header;
  std::vector<std::string> lines;
  // Rows of cells, the first `headingRows` of them column headings.
  std::vector<std::vector<std::string>> table;
  int headingRows = 0;
};

class Host {
 public:
  virtual ~Host() = default;
  // Runs the form modally; returns when it closed.
  virtual void ShowModal(Form& form) = 0;
  // The chosen path, or nothing when cancelled. A confirmed dialog makes the chosen folder the
  // working directory.
  virtual std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) = 0;
  virtual std::optional<FontChoice> FontDialog(const FontChoice& current) = 0;
  virtual void MessageBox(const std::string& caption, const std::string& text,
                          MessageIcon icon) = 0;
  virtual LocalTime Now() = 0;
  // A report file has been written in full at `path`. Hosts that show nothing for it keep the
  // default; the harness prints it so that scripts see when a report went out.
  virtual void FileWritten(const std::string& path) { (void)path; }
  // The user guide, opened at the section of that heading.
  virtual void ShowHelp(const std::string& section) { (void)section; }
  // The print dialog with its preview, and the page set-up the next print uses.
  virtual void Print(const PrintDocument& document) { (void)document; }
  virtual void PrintSetup() {}
};

}  // namespace kd::view
