#ifndef NUVARO_TESTS_SAMPLESERVICE_TINYCATALOGUE_H
#define NUVARO_TESTS_SAMPLESERVICE_TINYCATALOGUE_H

#include "GeneCatalogue.h"
#include "ReplyReading.h"

#include <string>
#include <utility>
#include <vector>

namespace servicetest
{
// A small catalogue: a root with two structures, one of which has a child;
// five genes: Pvalb with two series, Calb1 with a failed one, Gad1 with one,
// Pvr and Pvrl1 without any.
inline sampleservice::GeneCatalogue TinyCatalogue()
{
    using namespace sampleservice;
    GeneCatalogue c;
    c.structures = {{1, 0, "BR", "Brain"}, {2, 1, "CTX", "Cortex"}, {3, 2, "CA1", "Field CA1"},
                    {4, 1, "CB", "Cerebellum"}};
    c.genes = {{10, "Pvalb", "parvalbumin"},
               {11, "Pvr", "poliovirus receptor"},
               {12, "Calb1", "calbindin 1"},
               {13, "Gad1", "glutamate decarboxylase 1"},
               {14, "Pvrl1", "no data"}};
    // A coronal antisense series with its grids at grids/<id>.xpr and grids/<id>-thumb.xpr.
    auto series = [](int id, int gene, int experiment, std::vector<StructureExpression> expression) {
        ImageSeries s;
        s.imageSeriesId = id;
        s.geneId = gene;
        s.experimentId = experiment;
        s.date = "2007-05-01";
        s.url = s.fullGrid = "grids/" + std::to_string(id) + ".xpr";
        s.thumbnailGrid = "grids/" + std::to_string(id) + "-thumb.xpr";
        s.expression = std::move(expression);
        return s;
    };
    ImageSeries a = series(100, 10, 7000, {{1, 0.3f, 0.3f, 1}, {2, 0.6f, 0.5f, 1}, {3, 0.9f, 0.45f, 2}, {4, 0.1f, 0.05f, 2}});
    a.images = {{1, 5001, 5000, 4000, "sections/5001.aff", "express/sections/5001.aff"}};
    ImageSeries b = series(101, 10, 0, {{1, 0.25f, 0.2f, 1}, {2, 0.55f, 0.45f, 1}, {3, 0.8f, 0.4f, 2}, {4, 0.15f, 0.05f, 2}});
    b.plane = 1;
    b.probeOrientation = 0;
    b.images = {{1, 5002, 7000, 4000, "sections/5002.aff", ""}};
    ImageSeries failed = series(120, 12, 0, {{1, 0.2f, 0.1f, 2}, {2, 0.1f, 0.05f, 2}, {3, 0.0f, 0.0f, 0}, {4, 0.9f, 0.8f, 1}});
    failed.status = "Failed";
    failed.condition = "adult & aged";
    c.series = {a, b, failed,
                series(130, 13, 0, {{1, 0.35f, 0.3f, 1}, {2, 0.3f, 0.2f, 1}, {3, 0.6f, 0.5f, 2}, {4, 0.2f, 0.1f, 1}})};
    c.Index();
    return c;
}

// A SOAP envelope in the form the client sends.
inline std::string Envelope(const std::string& operation, const std::vector<std::string>& arguments)
{
    std::string body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"\n"
                       "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
                       "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">\n<soap:Body>\n<" +
                       operation + " xmlns=\"http://example.org/GeneSearchService\">\n";
    for (size_t i = 0; i < arguments.size(); ++i)
    {
        const std::string name = "in" + std::to_string(i);
        body += arguments[i].empty() ? "<" + name + " />\n" : "<" + name + ">" + arguments[i] + "</" + name + ">\n";
    }
    return body + "</" + operation + ">\n</soap:Body></soap:Envelope>\n";
}

// A gene name search for term as the client sends it (first page of ten).
inline std::string GeneSearchBody(const std::string& term)
{
    return Envelope("getGeneList1", {term, "10", "0", "gene", "false", "", "0310"});
}
} // namespace servicetest

#endif
