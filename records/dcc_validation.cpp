#include "records/dcc_validation.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>

#include <libxml/catalog.h>
#include <libxml/parser.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace tarn {

namespace {

constexpr auto kMainSchema = "dcc/v3.3.0/dcc.xsd";
constexpr auto kCatalog = "catalog.xml";

// Collects libxml2's errors (warnings are left out) while it is in use.
struct Collector {
    QList<DccProblem> problems;

    static void add(void* self, xmlErrorPtr error)
    {
        if (!error || error->level < XML_ERR_ERROR)
            return;
        QString message = QString::fromUtf8(error->message ? error->message : "unknown error").trimmed();
        static_cast<Collector*>(self)->problems.push_back({error->line, message});
    }
};

// Sets the collector as libxml2's error handler of this thread for as long
// as it lives, so that nothing is printed on standard error.
thread_local Collector* currentCollector = nullptr;

class Collecting {
public:
    explicit Collecting(Collector& c)
    {
        currentCollector = &c;
        xmlSetStructuredErrorFunc(&c, &Collector::add);
    }
    ~Collecting()
    {
        xmlSetStructuredErrorFunc(nullptr, nullptr);
        currentCollector = nullptr;
    }
    Collecting(const Collecting&) = delete;
    Collecting& operator=(const Collecting&) = delete;
};

// Whatever the catalog does not map to a local file is refused when it
// names the network.
xmlParserInputPtr offlineLoader(const char* url, const char* id, xmlParserCtxtPtr context)
{
    if (url) {
        std::unique_ptr<xmlChar, void (*)(void*)> resolved(
            xmlCatalogResolveURI(reinterpret_cast<const xmlChar*>(url)), xmlFree);
        if (!resolved)
            resolved.reset(xmlCatalogResolveSystem(reinterpret_cast<const xmlChar*>(url)));
        const QString target = QString::fromUtf8(
            resolved ? reinterpret_cast<const char*>(resolved.get()) : url);
        const qsizetype scheme = target.indexOf(QLatin1String("://"));
        if (scheme > 0 && !target.startsWith(QLatin1String("file://"), Qt::CaseInsensitive)) {
            if (currentCollector)
                currentCollector->problems.push_back(
                    {0, QStringLiteral("%1 is not fetched: validation does not use the network.").arg(target)});
            return nullptr;
        }
        if (resolved)
            return xmlNoNetExternalEntityLoader(reinterpret_cast<const char*>(resolved.get()), id,
                                                context);
    }
    return xmlNoNetExternalEntityLoader(url, id, context);
}

std::mutex schemasMutex;

struct SchemaFree {
    void operator()(xmlSchemaPtr s) const { xmlSchemaFree(s); }
};

// Parsed once per schema folder, then used by every validation.
xmlSchemaPtr schemaOf(const QString& folder, QList<DccProblem>* problems)
{
    static std::map<QString, std::unique_ptr<xmlSchema, SchemaFree>> parsed;
    static std::set<QString> catalogs;
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(offlineLoader);
    });

    const QString dir = QDir(folder).absolutePath();
    if (const auto it = parsed.find(dir); it != parsed.end())
        return it->second.get();

    const QString catalog = QDir(dir).filePath(QLatin1String(kCatalog));
    const QString main = QDir(dir).filePath(QLatin1String(kMainSchema));
    if (!QFileInfo(catalog).isFile() || !QFileInfo(main).isFile()) {
        problems->push_back({0, QStringLiteral("The DCC schema set is missing: no %1 and %2 in %3.")
                                    .arg(QLatin1String(kCatalog), QLatin1String(kMainSchema), dir)});
        return nullptr;
    }
    if (catalogs.insert(dir).second && xmlLoadCatalog(QFile::encodeName(catalog).constData()) != 0) {
        catalogs.erase(dir);
        problems->push_back({0, QStringLiteral("The DCC schemas' catalog %1 cannot be read.").arg(catalog)});
        return nullptr;
    }
    Collector collector;
    xmlSchemaPtr schema = nullptr;
    {
        const Collecting collecting(collector);
        xmlSchemaParserCtxtPtr context = xmlSchemaNewParserCtxt(QFile::encodeName(main).constData());
        if (context) {
            xmlSchemaSetParserStructuredErrors(context, &Collector::add, &collector);
            schema = xmlSchemaParse(context);
            xmlSchemaFreeParserCtxt(context);
        }
    }
    if (!schema) {
        problems->push_back({0, QStringLiteral("The DCC schema %1 cannot be read.").arg(main)});
        for (const DccProblem& p : collector.problems)
            problems->push_back({0, p.message});
        return nullptr;
    }
    parsed.emplace(dir, schema);
    return schema;
}

} // namespace

QString dccSchemaFolder(const QString& applicationFolder)
{
    const QString beside = QDir(applicationFolder).filePath(QStringLiteral("dcc-schemas"));
    if (!applicationFolder.isEmpty() && QFileInfo(QDir(beside).filePath(QLatin1String(kCatalog))).isFile())
        return beside;
    return QStringLiteral(TARN_DCC_SCHEMAS_SOURCE);
}

QList<DccProblem> validateDcc(const QByteArray& document, const QString& schemaFolder)
{
    const std::lock_guard lock(schemasMutex);
    QList<DccProblem> problems;
    xmlSchemaPtr schema = schemaOf(schemaFolder, &problems);
    if (!schema)
        return problems;

    Collector collector;
    const Collecting collecting(collector);
    xmlDocPtr doc = xmlReadMemory(document.constData(), int(document.size()), "document.xml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_BIG_LINES);
    if (!doc) {
        if (collector.problems.isEmpty())
            collector.problems.push_back({0, QStringLiteral("The document cannot be read as XML.")});
        return collector.problems;
    }
    xmlSchemaValidCtxtPtr context = xmlSchemaNewValidCtxt(schema);
    int result = -1;
    if (context) {
        xmlSchemaSetValidStructuredErrors(context, &Collector::add, &collector);
        result = xmlSchemaValidateDoc(context, doc);
        xmlSchemaFreeValidCtxt(context);
    }
    xmlFreeDoc(doc);
    if (result != 0 && collector.problems.isEmpty())
        collector.problems.push_back({0, QStringLiteral("The document could not be validated.")});
    return collector.problems;
}

QString dccProblemLines(const QString& file, const QList<DccProblem>& problems)
{
    QString out;
    for (const DccProblem& p : problems)
        out += QStringLiteral("%1:%2: %3\n").arg(file).arg(std::max(1, p.line)).arg(p.message);  // an empty file has no line 0
    return out;
}

} // namespace tarn
