#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <string_view>

class QLineEdit;

namespace zr {

// The "Zoom size(float value)" box: one edit of at most 24 characters, "Start" and "Exit".
class ZoomSizeDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kMaxLength = 24;
    explicit ZoomSizeDialog(QWidget* owner);
    std::string text() const;
    QLineEdit* edit() const { return edit_; }

  private:
    QLineEdit* edit_;
};

// The "File name number" box: asks for the number a key frame's file name begins with.
class FileNameNumberDialog : public QDialog {
    Q_OBJECT
  public:
    explicit FileNameNumberDialog(QWidget* owner);
    // The edit's leading number (0 when there is none).
    int number() const;
    QLineEdit* edit() const { return edit_; }

  private:
    QLineEdit* edit_;
};

// The zoom size typed, or none when the box was left with "Exit".
std::optional<std::string> askZoomSize(QWidget* owner);

// The file name number typed, or -1 for "Cancel".
int askFileNameNumber(QWidget* owner);

// The folder browser, with an edit in which a path can be typed as well as picked. It keeps
// the last path between two uses.
class FolderBrowser {
  public:
    // Starts at `path` (or the last path when empty); the chosen or typed folder, none when
    // cancelled.
    std::optional<std::string> browse(QWidget* owner, const std::string& path);
    const std::string& lastPath() const { return pathText_; }

  private:
    std::string pathText_;
};

// The file dialog in open or save mode with one filter ("Zoomreel file", "*.zrs"). A saved
// name without an extension gets the filter's (".zrs"); none when cancelled.
std::optional<std::string> chooseFile(QWidget* owner, bool open, const std::string& title,
                                      const std::string& filterDescription,
                                      const std::string& patterns, const std::string& startName);

// `name` with the extension of the first pattern appended (".zrs" for "*.zrs") when its last
// path component has no dot.
std::string withDefaultExtension(std::string name, std::string_view patterns);

// Patterns ("*.jpg;*.jpeg") as a file dialog filter ("Jpeg images (*.jpg *.jpeg)").
QString fileDialogFilter(const std::string& description, const std::string& patterns);

}  // namespace zr
