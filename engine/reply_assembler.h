#pragma once
// Multi-line reply assembly: a reply that opens with "nnn-" is interpreted once,
// by its closing line "nnn "; every line in between is text, whatever it looks
// like. A line that does not start a reply is passed on as it stands.

#include <QByteArray>

class ReplyAssembler {
public:
    // True when the line is to be interpreted as a reply.
    bool Accept(const QByteArray &line)
    {
        if (inside_) {
            bool closing = line.size() >= 4 && line.startsWith(code_) && line.at(3) == ' ';
            if (!closing)
                return false;
        }
        if (line.size() >= 4 && line.at(3) == '-') {
            inside_ = true;
            code_ = line.left(3);
            return false;
        }
        inside_ = false;
        return true;
    }
    void Reset()
    {
        inside_ = false;
        code_.clear();
    }
    bool Inside() const { return inside_; }

private:
    bool inside_ = false;
    QByteArray code_;
};
