#include "platform/ErrorReporter.h"

#include "platform/WindowServices.h"

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

void reportError(WindowServices& ui, const AppError& error) {
    ui.messageBox(explainError(error.number(), QString::fromStdString(error.description())),
                  MessageStyle::Information, kSorryTitle);
}

} // namespace shardix
