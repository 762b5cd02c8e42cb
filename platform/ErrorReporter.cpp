#include "platform/ErrorReporter.h"

#include "platform/WindowServices.h"

namespace shardix {

int errorNumber(const Error& error) {
    switch (error.kind) {
    case ErrorKind::Stopped:
        return 18;
    case ErrorKind::FileNotFound:
        return 53;
    case ErrorKind::FileBusy:
        return 55;
    case ErrorKind::DeviceIo:
        return 57;
    case ErrorKind::DiskFull:
        return 61;
    case ErrorKind::InputPastEnd:
        return 62;
    case ErrorKind::TooManyFiles:
        return 67;
    case ErrorKind::PermissionDenied:
        return 70;
    case ErrorKind::FileAccess:
    case ErrorKind::NameRefused:
        return 75;
    case ErrorKind::PathNotFound:
        return 76;
    case ErrorKind::Store:
        // The store's failures carry their own numbers.
        return error.detail;
    case ErrorKind::Refused:
    case ErrorKind::Mismatch:
    case ErrorKind::Internal:
        return 3219;
    }
    return 3219;
}

QString explainError(const Error& error) {
    switch (errorNumber(error)) {
    case 53:
        return QStringLiteral("The file does not exist.");
    case 55:
        return QStringLiteral("The file is open and could NOT be deleted.");
    case 70:
        return QStringLiteral("Permission denied.");
    case 75:
        return QStringLiteral("Path/file access error.");
    case 3163:
        return QStringLiteral(
            "Field is too small for the amount of data.  Using a database editor, such as "
            "Microsoft Access, modify the size of the field to allow it to accept the required "
            "amount of data.");
    case 3219:
        return QStringLiteral("Shardix! performed an invalid operation.");
    case 3315:
        return QStringLiteral(
            "Field can't be a zero-length string.  Using a database editor, such as Microsoft "
            "Access, modify the field (usually by clicking a check-box) to allow it to accept "
            "zero-length strings.");
    case 3343:
        return QStringLiteral(
            "The database you selected has a format that is unrecognizable to Shardix!.");
    default:
        return QString::fromStdString(error.message);
    }
}

void reportError(WindowServices& ui, const Error& error) {
    ui.messageBox(explainError(error), MessageIcon::Information, kSorryTitle);
}

bool reported(WindowServices& ui, const Result<>& result) {
    if (result.ok())
        return false;
    reportError(ui, result.error());
    return true;
}

} // namespace shardix
