#include "app/ErrorReporting.h"

#include "app/Globals.h"
#include "app/WindowServices.h"

namespace shardix {

QString explainError(std::int32_t number, const QString& description) {
    switch (number) {
    case ErrNo::FileNotFound:
        return QStringLiteral("The file does not exist.");
    case ErrNo::FileAlreadyOpen:
        return QStringLiteral("The file is open and could NOT be deleted.");
    case ErrNo::PermissionDenied:
        return QStringLiteral("Permission denied.");
    case ErrNo::PathFileAccess:
        return QStringLiteral("Path/file access error.");
    case ErrNo::FieldTooSmall:
        return QStringLiteral(
            "Field is too small for the amount of data.  Using a database editor, such as "
            "Microsoft Access, modify the size of the field to allow it to accept the required "
            "amount of data.");
    case ErrNo::InvalidOperation:
        return QStringLiteral("Shardix! performed an invalid operation.");
    case ErrNo::ZeroLengthField:
        return QStringLiteral(
            "Field can't be a zero-length string.  Using a database editor, such as Microsoft "
            "Access, modify the field (usually by clicking a check-box) to allow it to accept "
            "zero-length strings.");
    case ErrNo::UnrecognizedDatabase:
        return QStringLiteral(
            "The database you selected has a format that is unrecognizable to Shardix!.");
    default:
        return description;
    }
}

void mainHandleError(const AppError& error) {
    using namespace globals;
    msgPrompt = explainError(error.number(), QString::fromStdString(error.description()));
    msgStyle = 64;
    msgTitle = kSorryTitle;
    msgAnswer = services().messageBox(msgPrompt, msgStyle, msgTitle);
}

QString dialogReportError(const AppError& error) {
    services().setBusy(false);
    globals::msgPrompt = QString::fromStdString(error.description());
    return globals::msgPrompt;
}

} // namespace shardix
