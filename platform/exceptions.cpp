#include "exceptions.h"

#include <utility>

namespace platform {

Exception::Exception(QString message)
    : message_(std::move(message))
    , utf8_(message_.toUtf8())
{
}

QString ExceptionText(const std::exception &e)
{
    if (const auto *own = dynamic_cast<const Exception *>(&e))
        return own->Message();
    return QString::fromUtf8(e.what());
}

} // namespace platform
