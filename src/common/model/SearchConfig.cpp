#include "model/SearchConfig.h"

#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "utility/OSUtils.h"
#include "utility/ResourcePath.h"
#include "utility/TextParsing.h"
#include "utility/XMLUtils.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

using ImageGrid::AnnotationLabel;
using ImageGrid::BrainOntology;

SearchConfig* SearchConfig::sSearchConfig = nullptr;

namespace
{
using XMLUtils::FindAttribute;

// The ontology's structure with that database id, or null. Ids outside the
// 16-bit range name no structure (they are not cut down to another id).
const AnnotationLabel* FindStructure(const BrainOntology& ontology, int id)
{
    if (id < 0 || id > 0xFFFF)
        return nullptr;
    const AnnotationLabel* label = ontology.GetAnnotationLabelByDatabaseId(static_cast<unsigned short>(id));
    // The lookup answers "No Annotation" (value 0) for an unknown id.
    return label->annotationValue != 0 ? label : nullptr;
}

bool AddDomain(std::vector<SearchConfig::Domain>& domains, const BrainOntology& ontology, int id, int indent)
{
    SearchConfig::Domain domain(ontology, id, indent);
    if (domain.structure == nullptr)
        return false;
    domains.push_back(domain);
    return true;
}

// The named attribute as a decimal integer; fallback when it is missing or
// not a number in the range of int.
int IntegerAttribute(const char** attributes, const char* name, int fallback)
{
    const char* text = FindAttribute(attributes, name);
    long long value = 0;
    if (text == nullptr || !ParseInteger(TrimBlanks(text), value) || value < INT_MIN || value > INT_MAX)
        return fallback;
    return static_cast<int>(value);
}

bool TrueAttribute(const char** attributes, const char* name)
{
    const char* text = FindAttribute(attributes, name);
    return text != nullptr && std::strcmp(text, "true") == 0;
}
} // namespace

// ---------------------------------------------------------------------------
// SearchConfig

SearchConfig::Domain::Domain(const BrainOntology& ontology, int id, int indent)
    : structure(FindStructure(ontology, id)), indent(indent)
{
}

SearchConfig::SearchConfig(bool readFiles) : SearchConfig(*Atlas::GetAtlas()->GetOntology(), readFiles)
{
}

SearchConfig::SearchConfig(const BrainOntology& ontology, bool readFiles) : m_ontology(ontology)
{
    Reset();
    if (readFiles)
        ReadFiles(GetUserFilePath(), GetDefaultFilePath());
}

SearchConfig::~SearchConfig() = default;

void SearchConfig::Reset()
{
    Clear();
    m_version = 0;
    m_simlaraCoronalAllowed = false;
    m_simlaraSagittalAllowed = false;
}

void SearchConfig::Clear()
{
    m_anatomicDomains.clear();
    m_simlaraDomains.clear();
}

void SearchConfig::SetVersion(int version)
{
    m_version = version;
}

int SearchConfig::GetVersion() const
{
    return m_version;
}

int SearchConfig::GetNumSimlaraDomains() const
{
    return static_cast<int>(m_simlaraDomains.size());
}

int SearchConfig::GetNumAnatomicSearchDomains() const
{
    return static_cast<int>(m_anatomicDomains.size());
}

const SearchConfig::Domain& SearchConfig::DomainAt(const std::vector<Domain>& domains, int index)
{
    if (index < 0 || static_cast<size_t>(index) >= domains.size())
        throw std::invalid_argument("Search domain index out of range.");
    return domains[static_cast<size_t>(index)];
}

const AnnotationLabel* SearchConfig::GetSimlaraDomain(int index) const
{
    return DomainAt(m_simlaraDomains, index).structure;
}

const AnnotationLabel* SearchConfig::GetAnatomicSearchDomain(int index) const
{
    return DomainAt(m_anatomicDomains, index).structure;
}

int SearchConfig::GetSimlaraIndent(int index) const
{
    return DomainAt(m_simlaraDomains, index).indent;
}

int SearchConfig::GetAnatomicSearchIndent(int index) const
{
    return DomainAt(m_anatomicDomains, index).indent;
}

bool SearchConfig::AddSimlaraDomain(int id, int indent)
{
    return AddDomain(m_simlaraDomains, m_ontology, id, indent);
}

bool SearchConfig::AddAnatomicSearchDomain(int id, int indent)
{
    return AddDomain(m_anatomicDomains, m_ontology, id, indent);
}

void SearchConfig::SetSimlaraCoronalAllowed(bool allowed)
{
    m_simlaraCoronalAllowed = allowed;
}

void SearchConfig::SetSimlaraSagittalAllowed(bool allowed)
{
    m_simlaraSagittalAllowed = allowed;
}

bool SearchConfig::GetSimlaraCoronalAllowed() const
{
    return m_simlaraCoronalAllowed;
}

bool SearchConfig::GetSimlaraSagittalAllowed() const
{
    return m_simlaraSagittalAllowed;
}

void SearchConfig::ReadDefaultFile()
{
    ReadDefaultFile(GetDefaultFilePath());
}

void SearchConfig::ReadDefaultFile(const std::string& path)
{
    if (!OSUtils::FileExists(path.c_str()))
        throw std::runtime_error(
            "Nuvaro is missing a critical configuration file. Please try reinstalling the application.");
    SearchConfigReader reader(path.c_str(), this);
}

void SearchConfig::ReadFiles(const std::string& userPath, const std::string& defaultPath)
{
    if (OSUtils::FileExists(userPath.c_str()))
    {
        try
        {
            SearchConfigReader reader(userPath.c_str(), this);
            return;
        }
        catch (const std::exception& e)
        {
            std::printf("The user's search domain list was not used: %s\n", e.what());
            // Nothing of the rejected copy stays mixed into the shipped one.
            Reset();
        }
    }
    ReadDefaultFile(defaultPath);
}

SearchConfig* SearchConfig::GetConfig()
{
    if (sSearchConfig == nullptr)
        sSearchConfig = new SearchConfig(true);
    return sSearchConfig;
}

void SearchConfig::SetConfig(SearchConfig* config)
{
    if (config == nullptr || config == sSearchConfig)
        return;
    delete sSearchConfig;
    sSearchConfig = config;
}

void SearchConfig::DeleteConfig()
{
    delete sSearchConfig;
    sSearchConfig = nullptr;
}

std::string SearchConfig::GetUserFilePath()
{
    return ResourcePath::GetUserSettingsPath() + FILENAME;
}

std::string SearchConfig::GetDefaultFilePath()
{
    return ResourcePath::GetResourcePath() + FILENAME;
}

// ---------------------------------------------------------------------------
// SearchConfigReader

SearchConfigReader::SearchConfigReader(const char* path, SearchConfig* config)
    : m_config(config), m_parser(this), m_inSimlara(false), m_inAnatomicSearch(false)
{
    if (config == nullptr)
        throw std::invalid_argument("Unexpected NULL pointer.");
    if (path == nullptr)
        throw std::invalid_argument("Search configuration file path not specified.");

    std::string text;
    switch (OSUtils::ReadRegularFile(path, kMaxFileSize, text))
    {
    case OSUtils::ReadResult::Read:
        break;
    case OSUtils::ReadResult::TooLarge:
        throw std::runtime_error("Search configuration file is too large.");
    case OSUtils::ReadResult::CannotOpen:
        throw std::runtime_error("Search configuration file could not be opened.");
    }
    if (!m_parser.ParseWhole(text.data(), static_cast<int>(text.size())))
        throw std::runtime_error("Error parsing search configuration file.");

    if (config->GetNumAnatomicSearchDomains() == 0 || config->GetNumSimlaraDomains() == 0)
        throw std::runtime_error("Search configuration file is not in the expected format.");
}

void SearchConfigReader::StartElement(const char* name, const char** attributes)
{
    if (std::strcmp(name, "SearchDomains") == 0)
    {
        if (FindAttribute(attributes, "version") != nullptr)
            m_config->SetVersion(IntegerAttribute(attributes, "version", 0));
    }
    else if (std::strcmp(name, "AnatomicSearch") == 0)
    {
        m_inAnatomicSearch = true;
        m_inSimlara = false;
    }
    else if (std::strcmp(name, "Simlara") == 0)
    {
        m_inSimlara = true;
        m_inAnatomicSearch = false;
        if (FindAttribute(attributes, "coronal") != nullptr)
            m_config->SetSimlaraCoronalAllowed(TrueAttribute(attributes, "coronal"));
        if (FindAttribute(attributes, "sagittal") != nullptr)
            m_config->SetSimlaraSagittalAllowed(TrueAttribute(attributes, "sagittal"));
    }
    else if (std::strcmp(name, "Domain") == 0)
    {
        const int id = IntegerAttribute(attributes, "id", -1);
        const int indent = IntegerAttribute(attributes, "indent", 0);
        bool added = false;
        if (id >= 0 && m_inSimlara)
            added = m_config->AddSimlaraDomain(id, indent);
        else if (id >= 0 && m_inAnatomicSearch)
            added = m_config->AddAnatomicSearchDomain(id, indent);
        if (!added)
            ++m_refusedDomains;
    }
}

void SearchConfigReader::EndElement(const char*)
{
}

void SearchConfigReader::DataHandler(const char*, int)
{
}
