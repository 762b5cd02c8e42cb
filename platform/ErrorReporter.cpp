#include "platform/ErrorReporter.h"

#include "platform/WindowServices.h"

namespace shardix {

int errorNumber(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::TypeMismatch:
        return 13;
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
        return 75;
    case ErrorKind::PathNotFound:
        return 76;
    case ErrorKind::NoRecord:
        return 3021;
    case ErrorKind::StoreNotFound:
        return 3024;
    case ErrorKind::StoreReadOnly:
        return 3027;
    case ErrorKind::NoKey:
        return 3031;
    case ErrorKind::StoreCannotWrite:
        return 3051;
    case ErrorKind::NoTable:
        return 3078;
    case ErrorKind::FieldTooSmall:
        return 3163;
    case ErrorKind::StoreInUse:
        return 3218;
    case ErrorKind::Refused:
    case ErrorKind::Mismatch:
    case ErrorKind::Internal:
        return 3219;
    case ErrorKind::NoField:
        return 3265;
    case ErrorKind::ZeroLengthField:
        return 3315;
    case ErrorKind::UnrecognizedDatabase:
        return 3343;
    }
    return 3219;
}

QString explainError(const Error& error) {
    switch (errorNumber(error.kind)) {
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
