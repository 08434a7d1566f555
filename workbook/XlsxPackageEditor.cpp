#include "workbook/XlsxPackageEditor.h"

#include "workbook/Workbook.h"
#include "workbook/XlsxSharedStrings.h"
#include "workbook/XlsxSheetEditor.h"
#include "workbook/XlsxSheetNames.h"
#include "workbook/XlsxStyles.h"
#include "workbook/ZipPackage.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <pugixml.hpp>

#include <algorithm>
#include <sstream>

namespace {

const char relationshipsNamespace[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char dcNamespace[] = "http://purl.org/dc/elements/1.1/";
const char worksheetType[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
const char corePropertiesType[] =
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";
const char worksheetContentType[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
const char workbookContentType[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";
const char corePropertiesContentType[] = "application/vnd.openxmlformats-package.core-properties+xml";

constexpr unsigned parseOptions = pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata_single;

// An element's name without its namespace prefix.
QString localName(const pugi::xml_node &node)
{
    const QString name = QString::fromUtf8(node.name());
    return name.mid(name.indexOf(u':') + 1);
}

// The first child element with that local name.
pugi::xml_node childNamed(const pugi::xml_node &parent, const char *name)
{
    for (pugi::xml_node child : parent.children()) {
        if (child.type() == pugi::node_element && localName(child) == QLatin1String(name))
            return child;
    }
    return {};
}

// The prefix (with colon) the element's scope gives namespace uri, "" for the default one;
// declares prefix fallback for it on the root when there is none yet.
QString prefixFor(pugi::xml_node root, const char *uri, const char *fallback)
{
    for (pugi::xml_attribute attribute : root.attributes()) {
        const QByteArray name(attribute.name());
        if (qstrcmp(attribute.value(), uri) != 0)
            continue;
        if (name == "xmlns")
            return {};
        if (name.startsWith("xmlns:"))
            return QString::fromUtf8(name.mid(6)) + u':';
    }
    root.append_attribute(("xmlns:" + QByteArray(fallback)).constData()) = uri;
    return QString::fromUtf8(fallback) + u':';
}

// A part name and the folder a relationship's target is relative to.
QString folderOf(const QString &part)
{
    const int slash = int(part.lastIndexOf(u'/'));
    return slash < 0 ? QString() : part.left(slash + 1);
}

// The part a relationship target names, relative to the source part's folder.
QString resolve(const QString &folder, const QString &target)
{
    if (target.startsWith(u'/'))
        return target.mid(1);
    return QDir::cleanPath(folder + target);
}

// The relationships part belonging to a part ("" for the package itself).
QString relationshipsPart(const QString &part)
{
    return folderOf(part) + QLatin1String("_rels/") + part.mid(folderOf(part).size()) + QLatin1String(".rels");
}

// An XML part of the package, parsed.
struct XmlPart
{
    QString name;
    pugi::xml_document document;
    bool changed = false;

    QString load(const ZipPackage &package, const QString &partName)
    {
        name = partName;
        QString error;
        const QByteArray data = package.read(name, &error);
        if (!error.isEmpty())
            return error;
        if (!document.load_buffer(data.constData(), std::size_t(data.size()), parseOptions, pugi::encoding_utf8))
            return QStringLiteral("%1 ist kein gültiges XML").arg(name);
        return {};
    }

    QByteArray bytes() const
    {
        std::ostringstream out;
        document.save(out, "", pugi::format_raw, pugi::encoding_utf8);
        return QByteArray::fromStdString(out.str());
    }

    pugi::xml_node root() const { return document.document_element(); }
};

// An unused "rIdN" among the relationships.
QString newRelationshipId(const pugi::xml_node &relationships)
{
    int highest = 0;
    for (pugi::xml_node relationship : relationships.children()) {
        const QString id = QString::fromUtf8(relationship.attribute("Id").value());
        if (id.startsWith(QLatin1String("rId")))
            highest = std::max(highest, id.mid(3).toInt());
    }
    return QStringLiteral("rId%1").arg(highest + 1);
}

// The target of the first relationship whose type ends with typeSuffix ("" if none).
pugi::xml_node relationshipOfType(const pugi::xml_node &relationships, const char *typeSuffix)
{
    for (pugi::xml_node relationship : relationships.children()) {
        if (QByteArray(relationship.attribute("Type").value()).endsWith(typeSuffix))
            return relationship;
    }
    return {};
}

pugi::xml_node addRelationship(pugi::xml_node relationships, const char *type, const QString &target)
{
    const QString id = newRelationshipId(relationships);
    const QString name = QString::fromUtf8(relationships.name()).replace(QLatin1String("Relationships"),
                                                                           QLatin1String("Relationship"));
    pugi::xml_node relationship = relationships.append_child(name.toUtf8().constData());
    relationship.append_attribute("Id") = id.toUtf8().constData();
    relationship.append_attribute("Type") = type;
    relationship.append_attribute("Target") = target.toUtf8().constData();
    return relationship;
}

// Declares the content type of a part in [Content_Types].xml.
void addOverride(pugi::xml_node types, const QString &part, const char *contentType)
{
    const QString name = QString::fromUtf8(types.name()).replace(QLatin1String("Types"), QLatin1String("Override"));
    pugi::xml_node override = types.append_child(name.toUtf8().constData());
    override.append_attribute("PartName") = (u'/' + part).toUtf8().constData();
    override.append_attribute("ContentType") = contentType;
}

// Sets the document property element prefix+name of the core properties to text.
void setProperty(pugi::xml_node root, const QString &prefix, const char *name, const QString &text)
{
    const QByteArray element = (prefix + QString::fromUtf8(name)).toUtf8();
    pugi::xml_node node = root.child(element.constData());
    if (!node)
        node = root.append_child(element.constData());
    node.text().set(text.toUtf8().constData());
}

// The editing of one package: its parts as they are read, changed and put back.
class PackageEdit
{
public:
    QString run(const Workbook &book, const QByteArray &templateData, QByteArray *result);

private:
    QString readStructure();
    QString writeSheets(const Workbook &book);
    QString addSheetPart(QString *part);
    QString dropResults(const char *id);
    QString writeStrings();
    QString writeStyles();
    // Names and declares a part the template lacks (the strings, the styles).
    void declarePart(QString &part, const char *fileName, const char *relationship, const char *contentType);
    void dropCalculationChain();
    QString setProperties(const Workbook &book);
    QString putPart(XmlPart &part);

    ZipPackage mPackage;
    XmlPart mTypes;
    XmlPart mPackageRelationships;
    XmlPart mWorkbook;
    XmlPart mWorkbookRelationships;
    XlsxSharedStrings mStrings;
    // Where the string table lives (empty while the package has none).
    QString mStringsPart;
    XlsxStyles mStyles;
    // Where the cell formats live (empty while the package has none).
    QString mStylesPart;
};

QString PackageEdit::run(const Workbook &book, const QByteArray &templateData, QByteArray *result)
{
    QString error = mPackage.open(templateData);
    if (error.isEmpty())
        error = readStructure();
    if (error.isEmpty())
        error = writeSheets(book);
    if (error.isEmpty())
        error = writeStrings();
    if (error.isEmpty())
        error = writeStyles();
    if (error.isEmpty()) {
        dropCalculationChain();
        error = setProperties(book);
    }
    for (XmlPart *part : {&mWorkbook, &mWorkbookRelationships, &mTypes, &mPackageRelationships}) {
        if (error.isEmpty())
            error = putPart(*part);
    }
    if (error.isEmpty())
        error = mPackage.finish(result);
    return error;
}

// Reads the parts every edit needs: content types, relationships, workbook, string table.
QString PackageEdit::readStructure()
{
    QString error = mTypes.load(mPackage, QStringLiteral("[Content_Types].xml"));
    if (error.isEmpty())
        error = mPackageRelationships.load(mPackage, QStringLiteral("_rels/.rels"));
    if (!error.isEmpty())
        return error;
    const pugi::xml_node office = relationshipOfType(mPackageRelationships.root(), "/officeDocument");
    const QString workbookPart = office ? resolve(QString(), QString::fromUtf8(office.attribute("Target").value()))
                                        : QStringLiteral("xl/workbook.xml");
    error = mWorkbook.load(mPackage, workbookPart);
    if (error.isEmpty())
        error = mWorkbookRelationships.load(mPackage, relationshipsPart(workbookPart));
    if (!error.isEmpty())
        return error;
    if (const pugi::xml_node strings = relationshipOfType(mWorkbookRelationships.root(), "/sharedStrings")) {
        mStringsPart = resolve(folderOf(workbookPart), QString::fromUtf8(strings.attribute("Target").value()));
        const QByteArray xml = mPackage.read(mStringsPart, &error);
        if (!error.isEmpty())
            return error;
        if (!mStrings.load(xml))
            return QStringLiteral("%1 ist keine Stringtabelle").arg(mStringsPart);
    }
    if (const pugi::xml_node styles = relationshipOfType(mWorkbookRelationships.root(), "/styles")) {
        mStylesPart = resolve(folderOf(workbookPart), QString::fromUtf8(styles.attribute("Target").value()));
        const QByteArray xml = mPackage.read(mStylesPart, &error);
        if (!error.isEmpty())
            return error;
        if (!mStyles.load(xml))
            return QStringLiteral("%1 ist keine Formatvorlage").arg(mStylesPart);
    }
    // A template becomes an ordinary workbook.
    for (pugi::xml_node override : mTypes.root().children()) {
        if (QString::fromUtf8(override.attribute("PartName").value()) == u'/' + workbookPart) {
            override.attribute("ContentType").set_value(workbookContentType);
            mTypes.changed = true;
        }
    }
    return {};
}

QString PackageEdit::writeSheets(const Workbook &book)
{
    pugi::xml_node sheets = childNamed(mWorkbook.root(), "sheets");
    if (!sheets)
        return QStringLiteral("%1 nennt keine Tabellen").arg(mWorkbook.name);
    const QString relationshipPrefix = prefixFor(mWorkbook.root(), relationshipsNamespace, "r");
    const QByteArray idAttribute = (relationshipPrefix + QLatin1String("id")).toUtf8();
    std::vector<pugi::xml_node> sheetNodes;
    for (pugi::xml_node sheet : sheets.children()) {
        if (localName(sheet) == QLatin1String("sheet"))
            sheetNodes.push_back(sheet);
    }

    // Sheets of the template beyond the workbook's stay as they are, names included.
    QStringList wanted;
    QStringList kept;
    for (const Worksheet &sheet : book.sheets)
        wanted.append(sheet.name);
    for (std::size_t i = book.sheets.size(); i < sheetNodes.size(); ++i)
        kept.append(QString::fromUtf8(sheetNodes[i].attribute("name").value()));
    const QStringList names = XlsxSheetNames::makeValid(wanted, kept);

    for (std::size_t i = 0; i < book.sheets.size(); ++i) {
        const Worksheet &sheet = book.sheets[i];
        // A sheet of the template nothing was written to keeps its cells, whatever its kind;
        // only its formulas' results go (see dropResults).
        const bool untouched = sheet.notesChanges() && !sheet.hasChanges();
        if (untouched && i < sheetNodes.size()
            && QString::fromUtf8(sheetNodes[i].attribute("name").value()) == names.at(int(i))) {
            const QString error = dropResults(sheetNodes[i].attribute(idAttribute.constData()).value());
            if (!error.isEmpty())
                return error;
            continue;
        }
        QString part;
        if (i < sheetNodes.size()) {
            const QByteArray id(sheetNodes[i].attribute(idAttribute.constData()).value());
            pugi::xml_node relationship = mWorkbookRelationships.root().find_child_by_attribute("Id", id.constData());
            if (!relationship || !QByteArray(relationship.attribute("Type").value()).endsWith("/worksheet"))
                return QStringLiteral("Tabelle %1 der Vorlage ist kein Arbeitsblatt").arg(i + 1);
            part = resolve(folderOf(mWorkbook.name), QString::fromUtf8(relationship.attribute("Target").value()));
        } else {
            const QString error = addSheetPart(&part);
            if (!error.isEmpty())
                return error;
            const QString target = part.mid(folderOf(mWorkbook.name).size());
            const pugi::xml_node relationship =
                addRelationship(mWorkbookRelationships.root(), worksheetType, target);
            int highestId = 0;
            for (const pugi::xml_node &node : sheetNodes)
                highestId = std::max(highestId, node.attribute("sheetId").as_int());
            const QByteArray sheetName = (QString::fromUtf8(sheets.name()).chopped(1)).toUtf8();
            pugi::xml_node node = sheets.append_child(sheetName.constData());
            node.append_attribute("name");
            node.append_attribute("sheetId") = highestId + 1;
            node.append_attribute(idAttribute.constData()) = relationship.attribute("Id").value();
            sheetNodes.push_back(node);
            mWorkbookRelationships.changed = true;
        }
        pugi::xml_attribute nameAttribute = sheetNodes[i].attribute("name");
        if (QString::fromUtf8(nameAttribute.value()) != names.at(int(i))) {
            nameAttribute.set_value(names.at(int(i)).toUtf8().constData());
            mWorkbook.changed = true;
        }

        QString error;
        const QByteArray xml = mPackage.contains(part) ? mPackage.read(part, &error) : XlsxSheetEditor::emptyPart();
        if (!error.isEmpty())
            return error;
        XlsxSheetEditor editor;
        if (!editor.load(xml, &mStrings, &mStyles, book.decimalSeparator))
            return QStringLiteral("%1 ist kein gültiges Arbeitsblatt").arg(part);
        if (sheet.notesChanges()) {
            sheet.forEachChange([&](int row, int column) { editor.setCell(row, column, sheet.cell(row, column)); });
        } else {
            for (int row = 1; row <= sheet.usedRows(); ++row) {
                for (int column = 1; column <= sheet.usedColumns(); ++column)
                    editor.setCell(row, column, sheet.cell(row, column));
            }
        }
        editor.dropFormulaResults();
        error = mPackage.put(part, editor.save());
        if (!error.isEmpty())
            return error;
    }
    return {};
}

// Takes the last results out of the formulas of the worksheet with relationship id, if it has
// any: LibreOffice shows a formula's stored result until something it reads changes, so a
// formula over the written cells would show the template's old result; without one, every
// spreadsheet program calculates it on opening. Other sheets (charts) stay as they are.
QString PackageEdit::dropResults(const char *id)
{
    const pugi::xml_node relationship = mWorkbookRelationships.root().find_child_by_attribute("Id", id);
    if (!relationship || !QByteArray(relationship.attribute("Type").value()).endsWith("/worksheet"))
        return {};
    const QString part = resolve(folderOf(mWorkbook.name), QString::fromUtf8(relationship.attribute("Target").value()));
    QString error;
    const QByteArray xml = mPackage.read(part, &error);
    if (!error.isEmpty())
        return error;
    if (!xml.contains("<f") && !xml.contains(":f>") && !xml.contains(":f "))
        return {};
    XlsxSheetEditor editor;
    if (!editor.load(xml, &mStrings, &mStyles, QLatin1Char(',')))
        return QStringLiteral("%1 ist kein gültiges Arbeitsblatt").arg(part);
    if (editor.dropFormulaResults() == 0)
        return {};
    return mPackage.put(part, editor.save());
}

// Puts the string table back when strings were added, making one if the package had none.
QString PackageEdit::writeStrings()
{
    if (!mStrings.changed())
        return {};
    declarePart(mStringsPart, "sharedStrings.xml",
                "http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings",
                "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml");
    return mPackage.put(mStringsPart, mStrings.save());
}

// Puts the cell formats back when durations added some, making the part if the package had none.
QString PackageEdit::writeStyles()
{
    if (!mStyles.changed())
        return {};
    declarePart(mStylesPart, "styles.xml", "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles",
                "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml");
    return mPackage.put(mStylesPart, mStyles.save());
}

// A workbook part the package lacks (part empty) gets its name beside the workbook, a
// relationship from it and a content type.
void PackageEdit::declarePart(QString &part, const char *fileName, const char *relationship, const char *contentType)
{
    if (!part.isEmpty())
        return;
    const QString folder = folderOf(mWorkbook.name);
    part = folder + QLatin1String(fileName);
    addRelationship(mWorkbookRelationships.root(), relationship, part.mid(folder.size()));
    addOverride(mTypes.root(), part, contentType);
    mWorkbookRelationships.changed = true;
    mTypes.changed = true;
}

// Names a new worksheet part for a sheet the template lacks (in *part) and declares it.
QString PackageEdit::addSheetPart(QString *part)
{
    for (int n = 1;; ++n) {
        *part = folderOf(mWorkbook.name) + QStringLiteral("worksheets/sheet%1.xml").arg(n);
        if (!mPackage.contains(*part))
            break;
    }
    addOverride(mTypes.root(), *part, worksheetContentType);
    mTypes.changed = true;
    return {};
}

// Drops the calculation chain, which no longer matches the cells, and asks for a full
// recalculation on opening, so that the template's formulas see the written values.
void PackageEdit::dropCalculationChain()
{
    while (const pugi::xml_node chain = relationshipOfType(mWorkbookRelationships.root(), "/calcChain")) {
        const QString part = resolve(folderOf(mWorkbook.name), QString::fromUtf8(chain.attribute("Target").value()));
        mPackage.remove(part);
        mWorkbookRelationships.root().remove_child(chain);
        mWorkbookRelationships.changed = true;
        for (pugi::xml_node override : mTypes.root().children()) {
            if (QString::fromUtf8(override.attribute("PartName").value()) == u'/' + part) {
                mTypes.root().remove_child(override);
                break;
            }
        }
        mTypes.changed = true;
    }
    pugi::xml_node calculation = childNamed(mWorkbook.root(), "calcPr");
    if (!calculation) {
        // calcPr follows these elements in a workbook part.
        pugi::xml_node after;
        for (const char *name : {"sheets", "functionGroups", "externalReferences", "definedNames"}) {
            if (const pugi::xml_node node = childNamed(mWorkbook.root(), name))
                after = node;
        }
        const QString name = QString::fromUtf8(mWorkbook.root().name()).replace(QLatin1String("workbook"),
                                                                               QLatin1String("calcPr"));
        calculation = mWorkbook.root().insert_child_after(name.toUtf8().constData(), after);
    }
    if (!calculation.attribute("fullCalcOnLoad"))
        calculation.append_attribute("fullCalcOnLoad");
    calculation.attribute("fullCalcOnLoad").set_value("1");
    mWorkbook.changed = true;
}

// Author, subject and comments go to the core properties (creator, subject, description).
QString PackageEdit::setProperties(const Workbook &book)
{
    XmlPart core;
    const pugi::xml_node relationship = relationshipOfType(mPackageRelationships.root(), "/core-properties");
    if (relationship) {
        const QString error = core.load(mPackage, resolve(QString(), QString::fromUtf8(relationship.attribute("Target").value())));
        if (!error.isEmpty())
            return error;
    } else {
        core.name = QStringLiteral("docProps/core.xml");
        core.document.load_string(
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<cp:coreProperties "
            "xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
            "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
            "xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" "
            "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"/>",
            parseOptions);
        addRelationship(mPackageRelationships.root(), corePropertiesType, core.name);
        addOverride(mTypes.root(), core.name, corePropertiesContentType);
        mPackageRelationships.changed = true;
        mTypes.changed = true;
    }
    const pugi::xml_node root = core.root();
    const QString dc = prefixFor(root, dcNamespace, "dc");
    setProperty(root, dc, "creator", book.author);
    setProperty(root, dc, "subject", book.subject);
    setProperty(root, dc, "description", book.comments);
    if (pugi::xml_node modified = childNamed(root, "modified")) {
        modified.text().set(
            QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")).toUtf8().constData());
    }
    core.changed = true;
    return putPart(core);
}

QString PackageEdit::putPart(XmlPart &part)
{
    if (!part.changed)
        return {};
    part.changed = false;
    return mPackage.put(part.name, part.bytes());
}

// The file's bytes when it is an .xlsx/.xltx package with a workbook, else empty.
QByteArray packageData(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("xlsx") && suffix != QLatin1String("xltx"))
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

bool XlsxPackageEditor::isPackage(const QString &path)
{
    const QByteArray data = packageData(path);
    if (data.isEmpty())
        return false;
    ZipPackage package;
    if (!package.open(data).isEmpty())
        return false;
    XmlPart relationships;
    if (!package.contains(QStringLiteral("[Content_Types].xml"))
        || !relationships.load(package, QStringLiteral("_rels/.rels")).isEmpty())
        return false;
    const pugi::xml_node office = relationshipOfType(relationships.root(), "/officeDocument");
    return package.contains(office ? resolve(QString(), QString::fromUtf8(office.attribute("Target").value()))
                                   : QStringLiteral("xl/workbook.xml"));
}

QString XlsxPackageEditor::write(const Workbook &book, const QString &templatePath, QByteArray *package)
{
    const QByteArray data = packageData(templatePath);
    if (data.isEmpty())
        return QStringLiteral("Vorlage %1 kann nicht gelesen werden").arg(templatePath);
    PackageEdit edit;
    return edit.run(book, data, package);
}
