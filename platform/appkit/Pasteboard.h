// The general pasteboard: the one place the program puts text for the user to paste
// elsewhere (the diagnostics report). Its contents live in an installable store: the
// interactive application installs the desktop's clipboard; tests and command-line modes
// keep the in-memory one.
// Thread-safety: main thread only, like the platform's pasteboard.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace appkit {

// Where the pasteboard's plain text lives.
class PasteboardStoring {
public:
    virtual ~PasteboardStoring() = default;
    virtual void clear() = 0;
    // False when the text could not be put there.
    virtual bool setString(const std::string& text) = 0;
    [[nodiscard]] virtual std::optional<std::string> string() const = 0;
};

class InMemoryPasteboardStore final : public PasteboardStoring {
public:
    void clear() override { text_.reset(); }
    bool setString(const std::string& text) override {
        text_ = text;
        return true;
    }
    [[nodiscard]] std::optional<std::string> string() const override { return text_; }

private:
    std::optional<std::string> text_;
};

class Pasteboard {
public:
    [[nodiscard]] static Pasteboard& generalPasteboard();

    // Empties the pasteboard; put text on it afterwards with setString.
    void clearContents();
    // Puts plain text on the pasteboard; false when the store refused it.
    bool setString(const std::string& text);
    // The plain text on the pasteboard, if any.
    [[nodiscard]] std::optional<std::string> string() const;

    // Installs the store behind the pasteboard (nullptr restores an empty in-memory one).
    void setStore(std::shared_ptr<PasteboardStoring> store);

private:
    std::shared_ptr<PasteboardStoring> store_ = std::make_shared<InMemoryPasteboardStore>();
};

}  // namespace appkit
