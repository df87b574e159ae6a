#include "model/BrainOntology.h"

#include "support/ErrorText.h"
#include "support/QuietStdout.h"
#include "support/ScopedNumericLocale.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

using ImageGrid::AnnotationLabel;
using ImageGrid::AnnotationSelector;
using ImageGrid::BrainOntology;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace
{
// Eight structures in a tree under "grey" (value 1), plus "fiber tracts"
// outside it. The file order is not the order of annotation values, and the
// lines vary in length: the columns after the annotation value may be missing.
const char* const kOntology =
    "Basic cell groups and regions,grey,,191,218,227,1,8,,0.5,-1,2e1\n"
    "Cerebrum,CH,grey,176,240,255,2,567,,,,\n"
    "cerebellum,CB,grey,240,240,128,7,512\n"
    "Brain stem,BS,grey,255,112,128,5,343\n"
    "Cerebral cortex,CTX,CH,176,255,184,3,688,ignored,1,2.25,3\n"
    "Olfactory areas,OLF,CTX,154,210,189,4,698\n"
    "fiber tracts,fiber tracts,,204,204,204,9,1009,,0,0,0\n"
    "Zona incerta,ZI,BS, 1 ,2,3,200,797\n";

// The bits of the given sequential indices.
AnnotationSelector Bits(std::initializer_list<int> bits)
{
    AnnotationSelector s(false);
    for (int b : bits)
        s.Set(static_cast<unsigned char>(b), true);
    return s;
}

std::vector<int> Values(const std::vector<const AnnotationLabel*>& labels)
{
    std::vector<int> values;
    for (const AnnotationLabel* label : labels)
        values.push_back(label->annotationValue);
    return values;
}

// Loads text from a file; the loader's line per structure stays out of the log.
std::unique_ptr<BrainOntology> LoadText(const TempDir& t, const std::string& text)
{
    const std::string path = t.File("ontology.csv");
    EXPECT_TRUE(WriteFileBytes(path, text));
    testsupport::QuietStdout quiet;
    return std::make_unique<BrainOntology>(path.c_str());
}

// The message of loading text, with the file's path written as "<path>".
std::string LoadError(const std::string& text)
{
    TempDir t;
    std::string message = testsupport::RuntimeErrorOf([&] { LoadText(t, text); });
    const std::string path = t.File("ontology.csv");
    const size_t at = message.find(path);
    if (at != std::string::npos)
        message.replace(at, path.size(), "<path>");
    return message;
}

std::string Lines(int count, int firstValue = 1)
{
    std::string text = "root,r0,,1,1,1," + std::to_string(firstValue) + ",1\n";
    for (int i = 1; i < count; ++i)
        text += "s" + std::to_string(i) + ",r" + std::to_string(i) + ",r" + std::to_string(i - 1) + ",1,1,1," +
                std::to_string(firstValue + i) + "," + std::to_string(1000 + i) + "\n";
    return text;
}
} // namespace

TEST(AnnotationSelector, SetOperations)
{
    AnnotationSelector s(false);
    s.Set(200, true);
    EXPECT_TRUE(s.Intersects(Bits({200})));
    EXPECT_FALSE(s.Intersects(Bits({199, 201, 8})));
    s.Toggle();
    EXPECT_FALSE(s.Intersects(Bits({200})));
    EXPECT_TRUE(s.Intersects(Bits({0})));
    EXPECT_TRUE(s.IsSet(255) && s.IsSet(0) && !s.IsSet(200));

    // Every word boundary.
    AnnotationSelector edges = Bits({0, 63, 64, 127, 128, 191, 192, 255});
    for (int b : {0, 63, 64, 127, 128, 191, 192, 255})
        EXPECT_TRUE(edges.IsSet(static_cast<unsigned char>(b))) << b;
    for (int b : {1, 62, 65, 126, 129, 190, 193, 254})
        EXPECT_FALSE(edges.IsSet(static_cast<unsigned char>(b))) << b;

    AnnotationSelector u = Bits({1, 70});
    u.Merge(Bits({70, 130}));
    EXPECT_EQ(u, Bits({1, 70, 130}));
    u.Set(Bits({1, 130, 250}), false);
    EXPECT_EQ(u, Bits({70}));
    u.Set(Bits({250}), true);
    EXPECT_EQ(u, Bits({70, 250}));
    u.Set(70, false);
    EXPECT_NE(u, Bits({70, 250}));

    EXPECT_FALSE(AnnotationSelector(false).Intersects(AnnotationSelector(true)));
    EXPECT_TRUE(AnnotationSelector(true).Intersects(Bits({131})));
    AnnotationSelector all(false);
    all.Toggle();
    EXPECT_EQ(all, AnnotationSelector(true));
    EXPECT_EQ(AnnotationSelector(), AnnotationSelector(false));
}

TEST(BrainOntology, LooksUpLabelsByValueIndexNameAndDatabaseId)
{
    TempDir t;
    const auto ontology = LoadText(t, kOntology);
    EXPECT_EQ(ontology->GetNumStructures(), 9u);
    EXPECT_EQ(ontology->GetMaxLabels(), 256u);

    // Every field of a line; "No Annotation" in a slot no line fills.
    auto fields = [&](int value) {
        const AnnotationLabel* l = ontology->GetAnnotationLabel(static_cast<unsigned char>(value));
        return std::make_tuple(l->name, l->abbreviation, int(l->red), int(l->green), int(l->blue),
                               int(l->annotationValue), int(l->databaseId), int(l->index));
    };
    EXPECT_EQ(fields(2), std::make_tuple("Cerebrum", "CH", 176, 240, 255, 2, 567, 2));
    EXPECT_EQ(fields(200), std::make_tuple("Zona incerta", "ZI", 1, 2, 3, 200, 797, 8));
    EXPECT_EQ(std::get<0>(fields(100)) + std::get<1>(fields(100)), "No AnnotationNA");
    EXPECT_EQ(std::get<6>(fields(100)), 0xFFFF);
    EXPECT_EQ(ontology->GetAnnotationLabel(100)->own, AnnotationSelector(false));

    const AnnotationLabel* root = ontology->GetAnnotationLabel(1);
    EXPECT_EQ(std::vector<float>(root->values, root->values + 3), (std::vector<float>{0.5f, -1.0f, 20.0f}));
    EXPECT_EQ(ontology->GetAnnotationLabel(2)->values[2], 0.0f);
    EXPECT_FLOAT_EQ(ontology->GetAnnotationLabel(3)->values[1], 2.25f);
    const AnnotationLabel* zi = ontology->GetAnnotationLabel(200);

    const AnnotationLabel* none = ontology->GetAnnotationLabel(static_cast<unsigned char>(0));
    EXPECT_EQ(ontology->GetAnnotationLabel("OLF"), ontology->GetAnnotationLabel(4));
    EXPECT_EQ(ontology->GetAnnotationLabel(std::string("fiber tracts")), ontology->GetAnnotationLabel(9));
    EXPECT_EQ(ontology->GetAnnotationLabel(std::string("olf")), none);

    EXPECT_EQ(ontology->GetAnnotationLabelByIndex(0), none);
    EXPECT_EQ(ontology->GetAnnotationLabelByIndex(3), ontology->GetAnnotationLabel(7));
    EXPECT_EQ(ontology->GetAnnotationLabelByIndex(8), zi);
    EXPECT_EQ(ontology->GetAnnotationLabelByIndex(9), none);
    EXPECT_EQ(ontology->GetAnnotationLabelByIndex(255), none);

    EXPECT_EQ(ontology->GetAnnotationLabelByDatabaseId(797), zi);
    EXPECT_EQ(ontology->GetAnnotationLabelByDatabaseId(8), root);
    EXPECT_EQ(ontology->GetAnnotationLabelByDatabaseId(1), none);
}

TEST(BrainOntology, AlphabeticalOrderIsByteWise)
{
    TempDir t;
    const auto ontology = LoadText(t, kOntology);
    // Upper-case letters sort before lower-case ones; label 0 closes the list.
    const std::vector<std::string> expected = {"Basic cell groups and regions",
                                               "Brain stem",
                                               "Cerebral cortex",
                                               "Cerebrum",
                                               "Olfactory areas",
                                               "Zona incerta",
                                               "cerebellum",
                                               "fiber tracts",
                                               "No Annotation"};
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(ontology->GetAnnotationLabelByAlphabeticalIndex(static_cast<unsigned char>(i))->name, expected[i])
            << i;
    EXPECT_EQ(ontology->GetAnnotationLabelByAlphabeticalIndex(8), ontology->GetAnnotationLabel(0));
    EXPECT_EQ(ontology->GetAnnotationLabelByAlphabeticalIndex(200), ontology->GetAnnotationLabel(0));
}

TEST(BrainOntology, BuildsTheTreeAndItsSets)
{
    TempDir t;
    const auto ontology = LoadText(t, kOntology);
    const AnnotationLabel* root = ontology->GetAnnotationLabel(1);
    const AnnotationLabel* cerebrum = ontology->GetAnnotationLabel(2);
    const AnnotationLabel* cortex = ontology->GetAnnotationLabel(3);
    const AnnotationLabel* olfactory = ontology->GetAnnotationLabel(4);
    const AnnotationLabel* fibers = ontology->GetAnnotationLabel(9);

    EXPECT_EQ(root->parent, nullptr);
    EXPECT_EQ(cerebrum->parent, root);
    EXPECT_EQ(olfactory->parent, cortex);
    // Children stand in order of annotation value (CH 2, BS 5, CB 7), not of the file.
    EXPECT_EQ(Values({root->children.begin(), root->children.end()}), (std::vector<int>{2, 5, 7}));

    // Bits are file positions: grey 1, CH 2, CB 3, BS 4, CTX 5, OLF 6, fibers 7, ZI 8.
    EXPECT_EQ(root->own, Bits({1}));
    EXPECT_EQ(root->ancestors, Bits({1}));
    EXPECT_EQ(root->subtree, Bits({1, 2, 3, 4, 5, 6, 8}));
    EXPECT_EQ(root->childrenSet, Bits({2, 3, 4}));
    EXPECT_EQ(cerebrum->subtree, Bits({2, 5, 6}));
    EXPECT_EQ(cerebrum->childrenSet, Bits({5}));
    EXPECT_EQ(olfactory->ancestors, Bits({1, 2, 5, 6}));
    EXPECT_EQ(olfactory->subtree, Bits({6}));
    EXPECT_EQ(olfactory->childrenSet, AnnotationSelector(false));
    EXPECT_EQ(ontology->GetAnnotationLabel(200)->ancestors, Bits({1, 4, 8}));

    // Outside the tree: no bits at all.
    EXPECT_EQ(fibers->parent, nullptr);
    EXPECT_EQ(fibers->own, AnnotationSelector(false));
    EXPECT_EQ(fibers->subtree, AnnotationSelector(false));

    // "No Annotation" takes the bit after the last structure.
    const AnnotationLabel* none = ontology->GetAnnotationLabel(static_cast<unsigned char>(0));
    EXPECT_EQ(none->own, Bits({9}));
    EXPECT_EQ(none->ancestors, Bits({9}));
    EXPECT_EQ(none->subtree, Bits({9}));

    std::vector<const AnnotationLabel*> labels = {root};
    ontology->SelectorToLabelList(root->subtree, labels);
    EXPECT_EQ(Values(labels), (std::vector<int>{1, 2, 3, 4, 5, 7, 200}));
    ontology->SelectorToLabelList(AnnotationSelector(true), labels);
    EXPECT_EQ(Values(labels), (std::vector<int>{0, 1, 2, 3, 4, 5, 7, 200}));
    ontology->SelectorToLabelList(Bits({9, 6}), labels);
    EXPECT_EQ(Values(labels), (std::vector<int>{0, 4}));
    ontology->SelectorToLabelList(Bits({7, 100}), labels);
    EXPECT_TRUE(labels.empty());

    std::ostringstream out;
    out << *cerebrum;
    EXPECT_EQ(out.str().rfind("Cerebrum, CH, ", 0), 0u);
    EXPECT_EQ(out.str().substr(out.str().size() - 13), ", 176,240,255");
}

TEST(BrainOntology, MaximumOfStructuresAndDeepTrees)
{
    TempDir t;
    // 255 structures, each the child of the one before: a chain 255 deep.
    const auto ontology = LoadText(t, Lines(255));
    EXPECT_EQ(ontology->GetNumStructures(), 256u);
    const AnnotationLabel* root = ontology->GetAnnotationLabel(1);
    AnnotationSelector expected(true);
    expected.Set(0, false);
    EXPECT_EQ(root->subtree, expected);
    EXPECT_EQ(ontology->GetAnnotationLabel(255)->ancestors, expected);
    // The bit after the 255th is kept in 8 bits: bit 0.
    EXPECT_EQ(ontology->GetAnnotationLabel(static_cast<unsigned char>(0))->own, Bits({0}));
    EXPECT_EQ(ontology->GetAnnotationLabelByIndex(255), ontology->GetAnnotationLabel(255));
}

TEST(BrainOntology, ByteOrderMarkLineEndsAndLocaleDoNotMatter)
{
    TempDir t;
    const auto plain = LoadText(t, kOntology);

    std::string crlf;
    for (const char* c = kOntology; *c != '\0'; ++c)
        crlf += *c == '\n' ? std::string("\r\n") : std::string(1, *c);
    auto german = std::make_unique<testsupport::ScopedNumericLocale>();
    const bool decimalComma = german->Active();
    const auto other = LoadText(t, "\xEF\xBB\xBF" + crlf);
    german.reset();

    EXPECT_EQ(other->GetNumStructures(), plain->GetNumStructures());
    for (int v = 0; v < 256; ++v)
    {
        const AnnotationLabel* a = plain->GetAnnotationLabel(static_cast<unsigned char>(v));
        const AnnotationLabel* b = other->GetAnnotationLabel(static_cast<unsigned char>(v));
        EXPECT_EQ(a->name, b->name) << v;
        EXPECT_EQ(a->abbreviation, b->abbreviation) << v;
        EXPECT_EQ(a->subtree, b->subtree) << v;
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(a->values[k], b->values[k]) << v;
    }
    EXPECT_FLOAT_EQ(other->GetAnnotationLabel(3)->values[1], 2.25f);
    if (!decimalComma)
        GTEST_SKIP() << "The de_DE.UTF-8 locale is not installed: only the byte order mark and line ends were tested.";
}

TEST(BrainOntology, EmptyFilesLoadNothing)
{
    TempDir t;
    const std::vector<std::string> texts = {"", "\xEF\xBB\xBF", "\n" + std::string(kOntology), "\r\nanything",
                                            "\xEF\xBB\xBF\nanything"};
    for (const std::string& text : texts)
    {
        const auto ontology = LoadText(t, text);
        EXPECT_EQ(ontology->GetNumStructures(), 0u);
        EXPECT_EQ(ontology->GetAnnotationLabel(1)->name, "No Annotation");
        EXPECT_EQ(ontology->GetAnnotationLabelByAlphabeticalIndex(0), ontology->GetAnnotationLabel(0));
        EXPECT_EQ(ontology->GetAnnotationLabelByIndex(1), ontology->GetAnnotationLabel(0));
    }
}

TEST(BrainOntology, BadInputIsRejectedNamingTheLine)
{
    const std::string root = "root,grey,,1,2,3,1,8\n";
    struct Case
    {
        std::string text;
        std::string message;
    };
    // The message for a fault on the given line.
    auto at = [](int line, const std::string& fault) {
        return "Unexpected line while reading ontology file: <path> (line " + std::to_string(line) + ": " + fault + ").";
    };
    const std::string badValue = "the annotation value \"";
    const std::string notByte = "\" is not a whole number from 0 to 255";
    const std::vector<Case> cases = {
        {root + "short,s,grey,1,2,3\n", at(2, "it has 6 fields, at least 7 are needed")},
        {root + "\nafter,a,grey,1,2,3,2\n", at(2, "it has 0 fields, at least 7 are needed")},
        {"root,grey,CH,1,2,3,1,8\nCerebrum,CH,grey,1,2,3,2,9\n",
         at(1, "the root structure (annotation value 1) cannot have a parent")},
        {root + "a,A,B,1,2,3,2,9\nb,B,A,1,2,3,3,10\n", at(2, "the structure \"a\" is its own ancestor")},
        {root + "a,A,A,1,2,3,2,9\n", at(2, "the structure \"a\" is its own ancestor")},
        {root + "a,A,nowhere,1,2,3,2,9\n", at(2, "the parent \"nowhere\" is not a structure of this file")},
        {root + "a,A,grey,1,2,3,0,9\n", at(2, badValue + "0\" is not a whole number from 1 to 255")},
        {root + "a,A,grey,1,2,3,256,9\n", at(2, badValue + "256\" is not a whole number from 1 to 255")},
        {root + "a,A,grey,1,2,3,,9\n", at(2, badValue + "\" is not a whole number from 1 to 255")},
        {root + "a,A,grey,1,2,3,2,9\nb,B,grey,1,2,3,2,10\n", at(3, "annotation value 2 is already used by line 2")},
        {root + "a,A,grey,red,2,3,2,9\n", at(2, "the red value \"red" + notByte)},
        {root + "a,A,grey,1,256,3,2,9\n", at(2, "the green value \"256" + notByte)},
        {root + "a,A,grey,1,2,3.5,2,9\n", at(2, "the blue value \"3.5" + notByte)},
        {root + "a,A,grey,1,2,3,2,70000\n", at(2, "the database id \"70000\" is not a whole number from 0 to 65535")},
        {root + "a,A,grey,1,2,3,2,9,,1,2,3,4\nb,B,grey,1,2,3,3,10,,1,0.5.1\n",
         at(3, "column 11 \"0.5.1\" is not a number")},
        {root + "a,A,grey,1,2,3,2,9,,1,2,1e400\n", at(2, "column 12 \"1e400\" is not a number")},
        {"a,A,,1,2,3,2,9\n", "The ontology file has no root structure (annotation value 1): <path>"},
        {Lines(256), "Expected number of structures exceeded while reading ontology file: <path> (line 256: at "
                     "most 255 structures are allowed)."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LoadError(c.text), c.message) << c.text.substr(0, 200);

    TempDir t;
    const std::string missing = t.File("missing.csv");
    EXPECT_EQ(testsupport::RuntimeErrorOf([&] { BrainOntology ontology(missing.c_str()); }),
              "Error while opening ontology file: " + missing);
}

TEST(BrainOntology, FailedReloadKeepsWhatWasLoaded)
{
    TempDir t;
    auto ontology = LoadText(t, kOntology);
    const AnnotationLabel* zi = ontology->GetAnnotationLabel(200);
    const std::string bad = t.File("bad.csv");
    ASSERT_TRUE(WriteFileBytes(bad, "root,grey,,1,2,3,1,8\nx,X,grey,1,2,3,200,4\nz,Z,nowhere,1,2,3,9,5\n"));
    testsupport::QuietStdout quiet;
    EXPECT_THROW(ontology->Load(bad.c_str()), std::runtime_error);
    EXPECT_EQ(ontology->GetNumStructures(), 9u);
    EXPECT_EQ(ontology->GetAnnotationLabel(200), zi);
    EXPECT_EQ(zi->name, "Zona incerta");
    EXPECT_EQ(zi->parent, ontology->GetAnnotationLabel(5));
    EXPECT_EQ(ontology->GetAnnotationLabel(1)->subtree, Bits({1, 2, 3, 4, 5, 6, 8}));

    // A good reload replaces everything.
    const std::string small = t.File("small.csv");
    ASSERT_TRUE(WriteFileBytes(small, "root,grey,,1,2,3,1,8\nx,X,grey,1,2,3,200,4\n"));
    ontology->Load(small.c_str());
    EXPECT_EQ(ontology->GetNumStructures(), 3u);
    EXPECT_EQ(ontology->GetAnnotationLabel(2)->name, "No Annotation");
    EXPECT_EQ(ontology->GetAnnotationLabel(200)->name, "x");
    EXPECT_EQ(ontology->GetAnnotationLabel(1)->children.size(), 1u);
    EXPECT_EQ(ontology->GetAnnotationLabel(1)->subtree, Bits({1, 2}));
    EXPECT_EQ(ontology->GetAnnotationLabelByDatabaseId(797), ontology->GetAnnotationLabel(0));
}
