#pragma once

#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

class QCoreApplication;

// General services shared by the whole suite: SQL literals and display values, text pieces,
// dates, the initialisation file, files, error reports and launching the suite's programs.
// One instance per process (Utility::instance()); it holds almost no state.
//
// Values follow the suite's conventions:
//  - a date is the whole number yyyymmdd (0 or NULL: no date), shown as "dd/mm/yyyy";
//  - amounts are written with "." and no thousands separator, rounded half away from zero;
//  - every text that goes into SQL has its single quotes doubled (SqlValue is the one place).
class Utility {
public:
    static Utility& instance();

    // The suite's root folder: the nearest ancestor of programFolder (itself included) named
    // suiteName, else the parent of programFolder (programs live in <root>/Exe).
    QString GetRootPath(const QString& programFolder, const QString& suiteName) const;

    // An existing file; a folder only when attributes holds 16 (the directory attribute).
    bool FileExists(const QString& path, int attributes = 32) const;

    // A missing file, section or key answers def.
    QString ReadIni(const QString& file, const QString& section, const QString& key,
                    const QString& def = {}) const;

    // The index-th piece (from 0) of text cut at delimiter; empty when there is none.
    QString Piece(const QString& text, const QString& delimiter, int index) const;

    // flag true: the value as an SQL literal. Numbers: decimals > 0 rounds half away from zero
    // to that many decimals ("2.68", never "-0.00"); decimals 0 keeps the value's own decimals.
    // Texts: quoted, single quotes doubled (also when the text looks like a number).
    // NULL/invalid: NULL. Booleans: 1 or 0. QDate: yyyymmdd.
    // flag false: the value read as a number (texts with "," or "." as the decimal point,
    // leading blanks allowed; empty, NULL or non-numeric give 0) and written with `decimals`
    // decimals, or, with decimals 0, with its own decimals ("6.3"). Booleans read as 1/0.
    QString SqlValue(const QVariant& value, int decimals, bool flag) const;
    // SqlValue(value, decimals, false) as a number, without the trip through text.
    double SqlNumber(const QVariant& value, int decimals = 0) const;

    // style 2: yyyymmdd (number or text) -> "dd/mm/yyyy" (0, NULL or invalid -> "");
    // style 3: "dd/mm/yyyy" (or yyyymmdd) -> the whole number (invalid -> 0).
    QVariant FormatDate(int style, const QVariant& value) const;

    // text padded with blanks to width characters; a text that reads as a number is
    // right-aligned, any other left-aligned. A longer text is cut at its end when flag is true;
    // a number is never cut (a shortened amount would read as a different amount).
    QString FitText(int width, const QString& text, bool flag) const;

    // The computer's date as "yyyymmdd" (flag is kept for the suite's call shape).
    QString Today(bool flag = true) const;

    // Calendar-correct shift of a date: interval "d" days, "ww" weeks, "m" months, "yyyy" years.
    // date is "dd/mm/yyyy" or yyyymmdd; the answer has the same form.
    QString AddToDate(const QString& interval, int count, const QVariant& date) const;

    // The row (from 0) whose first column's text equals text; -1 when none. rows is the data
    // layer's two-dimensional array (Rows): anything with RowCount() and Value(column, row).
    template <typename Array> int FindInArray(const Array& rows, const QString& text) const {
        for (int row = 0; row < rows.RowCount(); ++row)
            if (rows.Value(0, row).toString() == text)
                return row;
        return -1;
    }

    // The suite's menu itself ("Tavelo") may start without the password check; modules may not.
    bool IsExemptApp(const QCoreApplication* app) const;

    void SetCompanyName(const QString& name);
    QString CompanyName() const { return m_companyName; }

    // The folder of errors.log; set at start-up to the data folder.
    void SetLogFolder(const QString& folder);

    // How ShowError puts a message before the user. The utility sits below the ui seam and
    // cannot call it: the seam sets itself here (Ui.cpp). Without one the message goes to
    // standard error.
    using ErrorDisplay = std::function<void(const QString& title, const QString& text)>;
    void SetErrorDisplay(ErrorDisplay display);

    // Shows "procedure, error number and description, extra text, company" through the error
    // display and appends the same, with date and time, to errors.log. The error is the one being
    // handled (number 0 and an empty description when none). *out, when given, becomes true once
    // shown.
    void ShowError(const QString& procedure, const QString& extra, const QString& company,
                   int number, const QString& description, bool* out = nullptr) const;

    // Asks the suite's own running programs whose name matches pattern (wildcards * and ?,
    // case-insensitive) to close. Programs of the suite register themselves
    // (RegisterRunningProgram); nothing else is ever signalled, and never this process.
    void CloseApps(const QString& pattern) const;
    // Registers this process (pid 0) or the given one under programName in the runtime folder;
    // this process's entry is removed at exit.
    static void RegisterRunningProgram(const QString& programName, qint64 pid = 0);
    // The folder of the running programs' registry.
    static QString RegistryFolder();

    // The whole text of a UTF-8 file (error 53 when missing).
    QString ReadTextFile(const QString& path) const;
    // Removes the file; a missing file is not an error.
    void DeleteFile(const QString& path) const;

    // "2": no spooler paper forms on this platform, so paper goes through the custom-size path.
    QString GetVersion() const;

    // Paper forms kept per printer for the session (this platform has no spooler forms).
    int PaperFormNumber(const QString& printer, const QString& form) const;
    void DeletePaperForm(const QString& printer, const QString& form);
    void AddPaperForm(const QString& printer, const QString& form, qint32 widthMicrons,
                      qint32 heightMicrons, quintptr windowHandle);

    // Starts the program named at the head of commandLine, without waiting. The head is the text
    // up to ".exe " (or the first blank); "\" stands for "/", and "<path>.exe" runs "<path>" when
    // only that exists. The rest of the line is handed over as the program's one argument.
    // A missing program file is error 53.
    void RunModule(const QString& commandLine) const;

    // Classic Val: the leading number of text ("12abc" -> 12, "1,5" -> 1), else 0.
    static double Val(const QString& text);
    // Conversions to whole numbers round to the nearest, ties to even; out of range is error 6.
    static qint32 ToInt32(double value);
    static qint16 ToInt16(double value);
    // Rounds half away from zero to `decimals` decimals on the decimal value (2.675 -> 2.68).
    static double RoundHalfAway(double value, int decimals);
    // The value's shortest text with "." ("6.3", "30", "-0.5").
    static QString NumberText(double value);
    // A text as an SQL literal: quoted, single quotes doubled.
    static QString Quote(const QString& text);
    // The day as "dd/mm/yyyy" with `separator` between its parts; an invalid date gives "".
    static QString DayText(const QDate& date, char16_t separator = u'/');

private:
    Utility() = default;
    QString m_companyName;
    QString m_logFolder;
    ErrorDisplay m_errorDisplay;
    QHash<QString, QStringList> m_paperForms;
};

// The process-wide instance, as every caller names it.
inline Utility& U() {
    return Utility::instance();
}

// The literals the module writes into its statements' text: a key or a count, and a text quoted so
// that nothing a user types can end the literal; and a key read back from a row, whichever type
// the engine gave it.
namespace Sql {
inline QString Id(qint64 id) {
    return QString::number(id);
}
inline QString Text(const QString& text) {
    return Utility::Quote(text);
}
inline qint32 Int(const QVariant& value) {
    return Utility::ToInt32(U().SqlNumber(value));
}
} // namespace Sql
