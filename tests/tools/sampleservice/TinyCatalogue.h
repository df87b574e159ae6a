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
// four genes, one of them with two series and one without any.
inline sampleservice::GeneCatalogue TinyCatalogue()
{
    using namespace sampleservice;
    GeneCatalogue c;
    c.structures = {{1, 0, "BR", "Brain"}, {2, 1, "CTX", "Cortex"}, {3, 2, "CA1", "Field CA1"},
                    {4, 1, "CB", "Cerebellum"}};
    c.genes = {{10, "Pvalb", "parvalbumin"},
               {11, "Pvr", "poliovirus receptor"},
               {12, "Calb1", "calbindin 1"},
               {13, "Gad1", "glutamate decarboxylase 1"}};
    ImageSeries a;
    a.imageSeriesId = 100;
    a.geneId = 10;
    a.experimentId = 7000;
    a.plane = 0;
    a.date = "2007-05-01";
    a.url = "grids/100.xpr";
    a.thumbnailGrid = "grids/100-thumb.xpr";
    a.fullGrid = "grids/100.xpr";
    a.images = {{1, 5001, 5000, 4000, "sections/5001.aff", "express/sections/5001.aff"}};
    a.expression = {{1, 0.3f, 0.3f, 1}, {2, 0.6f, 0.5f, 1}, {3, 0.9f, 0.45f, 2}, {4, 0.1f, 0.05f, 2}};
    ImageSeries b = a;
    b.imageSeriesId = 101;
    b.experimentId = 0;
    b.plane = 1;
    b.probeOrientation = 0;
    b.url = "grids/101.xpr";
    b.thumbnailGrid = "grids/101-thumb.xpr";
    b.fullGrid = "grids/101.xpr";
    b.images = {{1, 5002, 7000, 4000, "sections/5002.aff", ""}};
    b.expression = {{1, 0.25f, 0.2f, 1}, {2, 0.55f, 0.45f, 1}, {3, 0.8f, 0.4f, 2}, {4, 0.15f, 0.05f, 2}};
    ImageSeries c1 = a;
    c1.imageSeriesId = 120;
    c1.geneId = 12;
    c1.experimentId = 0;
    c1.status = "Failed";
    c1.condition = "adult & aged";
    c1.url = "grids/120.xpr";
    c1.thumbnailGrid = "grids/120-thumb.xpr";
    c1.fullGrid = "grids/120.xpr";
    c1.images = {};
    c1.expression = {{1, 0.2f, 0.1f, 2}, {2, 0.1f, 0.05f, 2}, {3, 0.0f, 0.0f, 0}, {4, 0.9f, 0.8f, 1}};
    ImageSeries d = a;
    d.imageSeriesId = 130;
    d.geneId = 13;
    d.experimentId = 0;
    d.url = "grids/130.xpr";
    d.thumbnailGrid = "grids/130-thumb.xpr";
    d.fullGrid = "grids/130.xpr";
    d.images = {};
    d.expression = {{1, 0.35f, 0.3f, 1}, {2, 0.3f, 0.2f, 1}, {3, 0.6f, 0.5f, 2}, {4, 0.2f, 0.1f, 1}};
    c.series = {a, b, c1, d};
    c.genes.push_back({14, "Pvrl1", "no data"});
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
} // namespace servicetest

#endif
