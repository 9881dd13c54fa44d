// The XML report-definition file read into its named reports, every error with its place.

#include "platform/report/ReportFile.h"

#include "platform/report/ReportLimits.h"
#include "platform/util/TvError.h"

#include <QCoreApplication>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>
#include <QXmlStreamReader>

namespace {

class Reader {
public:
    Reader(QIODevice& device, const QString& path)
        : m_device(device), m_xml(&device), m_path(path) {}

    ReportFile::Library Run() {
        ReportFile::Library library;
        if (!NextChild())
            Fail("el archivo no contiene ningún elemento");
        if (m_xml.name() != QLatin1String("Reports"))
            Fail("el elemento principal debe ser <Reports> y es <" + m_xml.name().toString() + ">");
        CheckAttributes({});
        while (NextChild()) {
            if (m_xml.name() != QLatin1String("Report"))
                Unknown();
            auto report = ReadReport();
            const QString key = ReportFile::Key(report->Name());
            if (library.count(key))
                Fail("el informe \"" + report->Name() + "\" está repetido");
            library.emplace(key, std::move(report));
        }
        return library;
    }

private:
    [[noreturn]] void Fail(const QString& message) {
        FailAt(QString("línea %1, columna %2").arg(m_xml.lineNumber()).arg(m_xml.columnNumber()),
               message);
    }
    [[noreturn]] void FailAt(const QString& place, const QString& message) {
        throw TvError(ErrorNumber::BadReport,
                      QString("Definición de informe incorrecta en \"%1\", %2: %3")
                          .arg(m_path, place, message));
    }
    // The XML reader decodes ahead of where it parses, so its position says little about a
    // byte that is not UTF-8; the first line that does not decode is the place.
    [[noreturn]] void FailEncoding() {
        m_device.seek(0);
        int line = 1;
        for (const QByteArray& bytes : m_device.readAll().split('\n')) {
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString decoded = utf8.decode(bytes);
            if (utf8.hasError())
                break;
            ++line;
        }
        FailAt(QString("línea %1").arg(line),
               "el archivo contiene bytes que no son texto en su codificación (UTF-8 si no "
               "declara otra)");
    }
    // The next child element of the current one; false at its end. Malformed XML fails here, at
    // the place it is found, rather than being taken for the end of an element.
    bool NextChild() {
        const bool found = m_xml.readNextStartElement();
        if (!m_xml.hasError())
            return found;
        // Qt's own text for bytes that are not text in the file's encoding, said in Spanish.
        if (m_xml.errorString() ==
            QCoreApplication::translate("QXmlStream", "Encountered incorrectly encoded content."))
            FailEncoding();
        Fail("el XML no es válido: " + m_xml.errorString());
    }
    [[noreturn]] void Unknown() { Fail("elemento desconocido <" + m_xml.name().toString() + ">"); }

    void CheckAttributes(const QStringList& allowed) {
        for (const QXmlStreamAttribute& attribute : m_xml.attributes())
            if (!allowed.contains(attribute.name().toString()))
                Fail("propiedad desconocida \"" + attribute.name().toString() + "\" en <" +
                     m_xml.name().toString() + ">");
    }
    bool Has(const char* name) const { return m_xml.attributes().hasAttribute(name); }
    QString Text(const char* name, const QString& def = {}) const {
        return Has(name) ? m_xml.attributes().value(name).toString() : def;
    }
    // Sizes and positions are bounded by what paper can be, so that no sum of them overflows.
    int Twips(const char* name, int def, bool allowNegative = false) {
        if (!Has(name))
            return def;
        bool ok = false;
        const int value = Text(name).trimmed().toInt(&ok);
        const int least = allowNegative ? -ReportLimits::MaxTwips : 0;
        if (!ok || value < least || value > ReportLimits::MaxTwips)
            Fail(QString("\"%1\" debe ser un número entero de twips entre %2 y %3 y es \"%4\"")
                     .arg(name)
                     .arg(least)
                     .arg(ReportLimits::MaxTwips)
                     .arg(Text(name)));
        return value;
    }
    // The test is written so that NaN fails it too.
    double FontSize(const char* name, double def) {
        if (!Has(name))
            return def;
        bool ok = false;
        const double value = Text(name).trimmed().toDouble(&ok);
        if (!ok || !(value > 0 && value <= ReportLimits::MaxFontSize))
            Fail(QString("\"%1\" debe ser un número mayor que 0 y hasta %2 y es \"%3\"")
                     .arg(name)
                     .arg(ReportLimits::MaxFontSize)
                     .arg(Text(name)));
        return value;
    }
    bool Flag(const char* name, bool def) {
        if (!Has(name))
            return def;
        const QString value = Text(name).trimmed().toLower();
        if (value == "true" || value == "1")
            return true;
        if (value == "false" || value == "0")
            return false;
        Fail(QString("\"%1\" debe ser true o false y es \"%2\"").arg(name, Text(name)));
    }
    QColor Color(const char* name, const QColor& def) {
        if (!Has(name))
            return def;
        const QColor color = QColor::fromString(Text(name).trimmed());
        if (!color.isValid())
            Fail(QString("\"%1\" no es un color válido: \"%2\"").arg(name, Text(name)));
        return color;
    }

    // QLocale takes any text and falls back to the C locale, so a misspelt name would pass
    // unnoticed and print English numbers.
    QLocale Locale() {
        const QLocale locale(Text("locale").trimmed());
        if (locale.language() == QLocale::C)
            Fail("\"locale\" debe ser un idioma como es o es_ES y es \"" + Text("locale") + "\"");
        return locale;
    }

    std::unique_ptr<ReportDefinition> ReadReport() {
        CheckAttributes({"name", "title", "locale"});
        auto report = std::make_unique<ReportDefinition>();
        report->SetName(Text("name").trimmed());
        if (report->Name().isEmpty())
            Fail("un <Report> necesita nombre (name)");
        report->SetTitle(Text("title"));
        if (Has("locale"))
            report->SetLocale(Locale());
        QHash<QString, int> groups;
        while (NextChild()) {
            const auto name = m_xml.name();
            if (name == QLatin1String("Paper")) {
                ReadPaper(*report);
            } else if (name == QLatin1String("DataSource")) {
                CheckAttributes({"recordSource", "connection"});
                report->SetRecordSource(Text("recordSource"));
                report->SetConnectionText(Text("connection"));
                m_xml.skipCurrentElement();
            } else if (name == QLatin1String("HeaderSource")) {
                CheckAttributes({"recordSource"});
                report->SetHeaderSource(Text("recordSource"));
                m_xml.skipCurrentElement();
            } else if (name == QLatin1String("Sort")) {
                CheckAttributes({"expression"});
                if (Text("expression").trimmed().isEmpty())
                    Fail("un <Sort> necesita expresión (expression)");
                report->SortKeys().append(Text("expression"));
                m_xml.skipCurrentElement();
            } else if (name == QLatin1String("Group")) {
                CheckAttributes({"name", "expression"});
                ReportGroup group{Text("name").trimmed(), Text("expression")};
                if (group.name.isEmpty() || group.expression.trimmed().isEmpty())
                    Fail("un <Group> necesita nombre (name) y expresión (expression)");
                if (groups.contains(group.name.toLower()))
                    Fail("el grupo \"" + group.name + "\" está repetido");
                if (groups.size() == ReportLimits::MaxGroups)
                    Fail(QString("un informe tiene como mucho %1 grupos")
                             .arg(ReportLimits::MaxGroups));
                groups.insert(group.name.toLower(), int(report->Groups().size()));
                report->Groups().append(group);
                m_xml.skipCurrentElement();
            } else if (name == QLatin1String("Section")) {
                ReadSection(*report, groups);
            } else {
                Unknown();
            }
        }
        return report;
    }

    void ReadPaper(ReportDefinition& report) {
        CheckAttributes({"width", "height", "left", "top", "right", "bottom", "continuous"});
        ReportPaper paper;
        paper.width = Twips("width", paper.width);
        paper.height = Twips("height", paper.height);
        paper.left = Twips("left", paper.left);
        paper.top = Twips("top", paper.top);
        paper.right = Twips("right", paper.right);
        paper.bottom = Twips("bottom", paper.bottom);
        paper.continuous = Flag("continuous", false);
        if (paper.width <= 0 || paper.height <= 0)
            Fail("el papel debe tener anchura y altura mayores que cero");
        if (paper.left + paper.right >= paper.width || paper.top + paper.bottom >= paper.height)
            Fail("los márgenes no dejan sitio en el papel");
        report.SetPaper(paper);
        m_xml.skipCurrentElement();
    }

    void ReadSection(ReportDefinition& report, const QHash<QString, int>& groups) {
        static const QHash<QString, ReportSection::Kind> kinds = {
            {"ReportHeader", ReportSection::ReportHeader},
            {"PageHeader", ReportSection::PageHeader},
            {"FirstPageHeader", ReportSection::FirstPageHeader},
            {"GroupHeader", ReportSection::GroupHeader},
            {"Detail", ReportSection::Detail},
            {"GroupFooter", ReportSection::GroupFooter},
            {"PageFooter", ReportSection::PageFooter},
            {"ReportFooter", ReportSection::ReportFooter}};
        CheckAttributes({"kind", "group", "height", "background"});
        ReportSection section;
        if (!kinds.contains(Text("kind")))
            Fail("\"kind\" de <Section> debe ser ReportHeader, FirstPageHeader, PageHeader, "
                 "GroupHeader, Detail, GroupFooter, PageFooter o ReportFooter y es \"" +
                 Text("kind") + "\"");
        section.kind = kinds.value(Text("kind"));
        const bool grouped = section.kind == ReportSection::GroupHeader ||
                             section.kind == ReportSection::GroupFooter;
        if (grouped != Has("group"))
            Fail(grouped ? "una sección de grupo necesita \"group\""
                         : "solo las secciones de grupo llevan \"group\"");
        if (grouped) {
            section.group = groups.value(Text("group").trimmed().toLower(), -1);
            if (section.group < 0)
                Fail("el grupo \"" + Text("group") + "\" no está declarado antes con <Group>");
        }
        if (report.SectionIndex(section.kind, section.group) >= 0)
            Fail("la sección " + Text("kind") + " está repetida");
        section.height = Twips("height", 0);
        section.background = Color("background", QColor());
        const int index = int(report.Sections().size());
        while (NextChild()) {
            if (m_xml.name() == QLatin1String("Field")) {
                if (report.FieldCount() == ReportLimits::MaxFields)
                    Fail(QString("un informe tiene como mucho %1 campos")
                             .arg(ReportLimits::MaxFields));
                ReadField(report, index);
            } else if (m_xml.name() == QLatin1String("Line")) {
                if (LineCount(report) + section.lines.size() == ReportLimits::MaxLines)
                    Fail(QString("un informe tiene como mucho %1 líneas")
                             .arg(ReportLimits::MaxLines));
                section.lines.append(ReadLine());
            } else {
                Unknown();
            }
        }
        report.Sections().append(section);
    }

    static qsizetype LineCount(const ReportDefinition& report) {
        qsizetype count = 0;
        for (const ReportSection& section : report.Sections())
            count += section.lines.size();
        return count;
    }

    ReportLine ReadLine() {
        CheckAttributes({"left", "top", "width", "height", "thickness", "color"});
        ReportLine line;
        line.rect = QRect(Twips("left", 0), Twips("top", 0), Twips("width", 0, true),
                          Twips("height", 0, true));
        line.thickness = Twips("thickness", 0);
        line.color = Color("color", Qt::black);
        m_xml.skipCurrentElement();
        return line;
    }

    void ReadField(ReportDefinition& report, int section) {
        CheckAttributes({"name",        "text",    "calculated", "picture", "left",       "top",
                         "width",       "height",  "font",       "size",    "bold",       "italic",
                         "underline",   "align",   "format",     "color",   "background", "border",
                         "borderColor", "canGrow", "wrap",       "qr",      "subReport"});
        static const QHash<QString, int> alignments = {
            {"left", Qt::AlignLeft}, {"center", Qt::AlignHCenter}, {"right", Qt::AlignRight}};
        auto field = std::make_unique<ReportField>();
        field->SetName(Text("name").trimmed());
        if (!field->Name().isEmpty() && report.FieldIndex(field->Name()) >= 0)
            Fail("el campo \"" + field->Name() + "\" está repetido");
        field->SetSection(section);
        field->SetText(Text("text"));
        field->SetCalculated(Flag("calculated", false));
        field->SetLeft(Twips("left", 0));
        field->SetTop(Twips("top", 0));
        field->SetWidth(Twips("width", 0));
        field->SetHeight(Twips("height", 0));
        ReportFont font;
        font.family = Text("font", font.family);
        font.size = FontSize("size", font.size);
        font.bold = Flag("bold", false);
        font.italic = Flag("italic", false);
        font.underline = Flag("underline", false);
        field->SetFont(font);
        const QString align = Text("align", "left").trimmed().toLower();
        if (!alignments.contains(align))
            Fail("\"align\" debe ser left, center o right y es \"" + Text("align") + "\"");
        field->SetAlignment(alignments.value(align));
        field->SetFormat(Text("format"));
        field->SetColor(Color("color", Qt::black));
        field->SetBackground(Color("background", QColor()));
        field->SetBorderWidth(Twips("border", 0));
        field->SetBorderColor(Color("borderColor", Qt::black));
        field->SetCanGrow(Flag("canGrow", false));
        field->SetWordWrap(Flag("wrap", false));
        field->SetQr(Flag("qr", false));
        field->SetSubReport(Text("subReport").trimmed());
        if (Has("picture") && !Text("picture").isEmpty()) {
            const QString picture =
                QDir(QFileInfo(m_path).absolutePath()).filePath(Text("picture"));
            field->SetPicture(picture);
        }
        m_xml.skipCurrentElement();
        report.AddField(std::move(field));
    }

    QIODevice& m_device;
    QXmlStreamReader m_xml;
    QString m_path;
};

} // namespace

ReportFile::Library ReportFile::Read(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile())
        throw TvError(ErrorNumber::FileNotFound,
                      "No se encuentra el archivo de informes \"" + path + "\"");
    if (!file.open(QIODevice::ReadOnly))
        throw TvError(ErrorNumber::PathFileAccess, "No se puede leer el archivo de informes \"" +
                                                       path + "\": " + file.errorString());
    return Reader(file, path).Run();
}
