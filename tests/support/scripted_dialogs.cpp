#include "scripted_dialogs.h"

#include "platform/tls_session.h"

#include <memory>

void ScriptedDialogs::QueueButton(int button) { buttons_.enqueue(button); }
void ScriptedDialogs::QueueText(bool ok, const QString &text) { texts_.enqueue({ok, text}); }
void ScriptedDialogs::QueueFont(bool ok, const QFont &font) { fonts_.enqueue({ok, font}); }
void ScriptedDialogs::QueueColor(bool ok, const QColor &color) { colors_.enqueue({ok, color}); }
void ScriptedDialogs::QueueDirectory(bool ok, const QString &directory) { directories_.enqueue({ok, directory}); }
void ScriptedDialogs::QueueFiles(bool ok, const QStringList &files) { files_.enqueue({ok, files}); }
void ScriptedDialogs::QueueSaveFile(bool ok, const QString &file) { saveFiles_.enqueue({ok, file}); }
void ScriptedDialogs::QueueCertificate(CertificateAnswer answer) { certificates_.enqueue(answer); }

QList<ScriptedDialogs::Call> ScriptedDialogs::CallsOf(Kind kind) const
{
    QList<Call> result;
    for (const Call &call : calls_) {
        if (call.kind == kind)
            result.append(call);
    }
    return result;
}

int ScriptedDialogs::UnexpectedCount() const
{
    int count = 0;
    for (const Call &call : calls_)
        count += call.expected ? 0 : 1;
    return count;
}

int ScriptedDialogs::PendingAnswers() const
{
    return int(buttons_.size() + texts_.size() + fonts_.size() + colors_.size() + directories_.size()
               + files_.size() + saveFiles_.size() + certificates_.size());
}

ScriptedDialogs::Call &ScriptedDialogs::Record(Kind kind, const QString &caption, const QString &text,
                                               const QString &initial)
{
    Call call;
    call.kind = kind;
    call.caption = caption;
    call.text = text;
    call.initial = initial;
    calls_.append(call);
    return calls_.last();
}

int ScriptedDialogs::MessageBox(QWidget *, const QString &text, const QString &caption, Icon icon,
                                Buttons buttons, int defaultButton)
{
    Call &call = Record(MessageBoxKind, caption, text, QString());
    call.icon = icon;
    call.buttons = buttons;
    call.defaultButton = platform::DefaultButton(buttons, defaultButton);
    if (buttons_.isEmpty()) {
        call.expected = false;
        return platform::EscapeButton(buttons);
    }
    return buttons_.dequeue();
}

namespace {

// Pops the next answer into value; an empty queue marks the call unexpected.
template <typename Queue, typename T>
bool TakeAnswer(Queue &queue, ScriptedDialogs::Call &call, T &value)
{
    if (queue.isEmpty()) {
        call.expected = false;
        return false;
    }
    const auto answer = queue.dequeue();
    if (answer.ok)
        value = answer.value;
    return answer.ok;
}

} // namespace

bool ScriptedDialogs::AskPassword(QWidget *, const QString &caption, const QString &prompt, QString &value)
{
    return TakeAnswer(texts_, Record(AskPasswordKind, caption, prompt, value), value);
}

bool ScriptedDialogs::AskText(QWidget *, const QString &caption, const QString &prompt, QString &value)
{
    return TakeAnswer(texts_, Record(AskTextKind, caption, prompt, value), value);
}

platform::Dialogs::CertificateAnswer ScriptedDialogs::AskCertificate(QWidget *, const QString &endpoint,
                                                                    const platform::TlsCertificateInfo &certificate,
                                                                    bool changed)
{
    Call &call = Record(AskCertificateKind, endpoint, certificate.Problems(), certificate.sha256);
    call.certificateChanged = changed;
    if (certificates_.isEmpty()) {
        call.expected = false;
        return RejectCertificate;
    }
    return certificates_.dequeue();
}

bool ScriptedDialogs::ChooseFont(QWidget *, QFont &font)
{
    return TakeAnswer(fonts_, Record(ChooseFontKind, QString(), QString(), font.toString()), font);
}

bool ScriptedDialogs::ChooseColor(QWidget *, QColor &color)
{
    return TakeAnswer(colors_, Record(ChooseColorKind, QString(), QString(), color.name()), color);
}

bool ScriptedDialogs::ChooseDirectory(QWidget *, const QString &caption, QString &directory)
{
    return TakeAnswer(directories_, Record(ChooseDirectoryKind, caption, QString(), directory), directory);
}

bool ScriptedDialogs::ChooseOpenFiles(QWidget *, const QString &caption, const QString &filter,
                                      QStringList &files)
{
    return TakeAnswer(files_, Record(ChooseOpenFilesKind, caption, filter, files.value(0)), files);
}

bool ScriptedDialogs::ChooseSaveFile(QWidget *, const QString &caption, const QString &filter, QString &file)
{
    return TakeAnswer(saveFiles_, Record(ChooseSaveFileKind, caption, filter, file), file);
}

ScopedScriptedDialogs::ScopedScriptedDialogs()
{
    auto dialogs = std::make_unique<ScriptedDialogs>();
    dialogs_ = dialogs.get();
    platform::InstallDialogs(std::move(dialogs));
}

ScopedScriptedDialogs::~ScopedScriptedDialogs()
{
    platform::InstallDialogs(nullptr);
}
