#ifndef NUVARO_MODEL_SEARCHCONFIG_H
#define NUVARO_MODEL_SEARCHCONFIG_H

#include "utility/XMLElementHandler.h"
#include "utility/XMLParser.h"

#include <string>
#include <vector>

namespace ImageGrid
{
class AnnotationLabel;
class BrainOntology;
} // namespace ImageGrid

// The search domains: the structures offered for anatomic searches and the
// structures (correlation domains) offered for similar-gene searches, each
// with an indent for display, plus the list's version and whether
// similar-gene searches may start from coronal and from sagittal series.
//
// Domains are structures of an ontology, found by their database id. An id
// that names no structure of the ontology is left out of the lists, so every
// domain a reader gets holds a structure.
class SearchConfig
{
public:
    // One entry of a domain list.
    struct Domain
    {
        // Looks id up in the ontology by database id; the structure is null
        // when no structure has that id (such domains never enter a list).
        Domain(const ImageGrid::BrainOntology& ontology, int id, int indent);

        const ImageGrid::AnnotationLabel* structure;
        int indent;
    };

    // The list's file name, in the data folder and in the settings folder.
    static constexpr const char* FILENAME = "SearchDomains.xml";

    // Empty lists, version 0, both plane flags false, domains looked up in
    // the atlas's ontology. With readFiles, reads the user's copy and falls
    // back to the data folder's copy (see ReadFiles).
    explicit SearchConfig(bool readFiles);
    // The same with domains looked up in `ontology`, which must outlive the
    // configuration.
    SearchConfig(const ImageGrid::BrainOntology& ontology, bool readFiles);
    virtual ~SearchConfig();

    SearchConfig(const SearchConfig&) = delete;
    SearchConfig& operator=(const SearchConfig&) = delete;

    // Empties both domain lists.
    virtual void Clear();
    virtual void SetVersion(int version);
    virtual int GetVersion() const;
    virtual int GetNumSimlaraDomains() const;
    virtual int GetNumAnatomicSearchDomains() const;
    // The structure and the indent of the domain at a position of a list.
    // Throws std::invalid_argument when the position is not below the count.
    virtual const ImageGrid::AnnotationLabel* GetSimlaraDomain(int index) const;
    virtual const ImageGrid::AnnotationLabel* GetAnatomicSearchDomain(int index) const;
    virtual int GetSimlaraIndent(int index) const;
    virtual int GetAnatomicSearchIndent(int index) const;
    // Appends a domain by database id; false (and nothing added) when the
    // ontology has no structure with that id.
    virtual bool AddSimlaraDomain(int id, int indent);
    virtual bool AddAnatomicSearchDomain(int id, int indent);
    virtual void SetSimlaraCoronalAllowed(bool allowed);
    virtual void SetSimlaraSagittalAllowed(bool allowed);
    virtual bool GetSimlaraCoronalAllowed() const;
    virtual bool GetSimlaraSagittalAllowed() const;
    // Reads the data folder's copy of the list (GetDefaultFilePath).
    virtual void ReadDefaultFile();

    // Reads the list at userPath when that file exists; when it does not, or
    // when it cannot be read (that failure is swallowed), starts afresh and
    // reads defaultPath with ReadDefaultFile(defaultPath).
    void ReadFiles(const std::string& userPath, const std::string& defaultPath);
    // Reads the list at path. A missing file throws std::runtime_error
    // telling the user to reinstall; reading failures pass out.
    void ReadDefaultFile(const std::string& path);

    // The process-wide configuration, made with SearchConfig(true) on first
    // use; when that throws, the failure passes out and the next call tries
    // again.
    static SearchConfig* GetConfig();
    // Installs config as the process-wide configuration and deletes the one
    // before it. Null and the current configuration are ignored.
    static void SetConfig(SearchConfig* config);
    // Deletes the process-wide configuration; the next GetConfig reads anew.
    static void DeleteConfig();
    // The user's copy: settings folder + FILENAME.
    static std::string GetUserFilePath();
    // The shipped copy: data folder + FILENAME.
    static std::string GetDefaultFilePath();

private:
    // Empty lists, version 0, plane flags false.
    void Reset();
    static const Domain& DomainAt(const std::vector<Domain>& domains, int index);

    const ImageGrid::BrainOntology& m_ontology;
    std::vector<Domain> m_anatomicDomains;
    std::vector<Domain> m_simlaraDomains;
    int m_version;
    bool m_simlaraCoronalAllowed;
    bool m_simlaraSagittalAllowed;

    static SearchConfig* sSearchConfig;
};

// Reads a search-domain list file into a configuration, all in its
// constructor. The file's elements and attributes, matched exactly:
//  - "SearchDomains" version="N": the list's version;
//  - "AnatomicSearch": the domains that follow are anatomic;
//  - "Simlara" coronal="true" sagittal="true": the domains that follow are
//    similar-gene domains; each plane is allowed only for the exact value
//    "true";
//  - "Domain" id="N" indent="N": a domain of the current section (id default
//    -1, indent default 0); negative ids, domains before any section and ids
//    not in the ontology are ignored.
// Integer attributes are decimal numbers, blanks around them allowed; any
// other value counts as a missing attribute. End tags, text and other
// elements change nothing.
class SearchConfigReader : public XMLElementHandler
{
public:
    // Bigger files are refused rather than read.
    static constexpr unsigned long kMaxFileSize = 4ul * 1024 * 1024;

    // Throws std::invalid_argument for a null config or path, and
    // std::runtime_error when the file cannot be opened, is too large or
    // malformed, or leaves either domain list of the configuration empty.
    SearchConfigReader(const char* path, SearchConfig* config);

    void StartElement(const char* name, const char** attributes) override;
    void EndElement(const char* name) override;
    void DataHandler(const char* data, int length) override;

    // The "Domain" elements that became no domain: a missing, negative,
    // malformed or unknown id, or no section before them.
    int GetRefusedDomainCount() const { return m_refusedDomains; }

private:
    SearchConfig* m_config;
    XMLParser m_parser;
    bool m_inSimlara;
    bool m_inAnatomicSearch;
    int m_refusedDomains = 0;
};

#endif
