// Small PDF decks written by hand for tests and benchmarks: each page a coloured background, a
// black bar down its left tenth and, if asked, lines of text. The cross-reference table is exact.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace vorlix::testing {

struct PdfPage {
    double width = 960, height = 540;  // points
    int red = 255, green = 255, blue = 255;
    int textLines = 0;
    int rotate = 0;  // the page's /Rotate
};

inline std::string pdfDeck(const std::vector<PdfPage>& pages) {
    std::string kids;
    for (std::size_t i = 0; i < pages.size(); ++i) kids += std::to_string(4 + 2 * i) + " 0 R ";
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
    char buf[256];
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const PdfPage& p = pages[i];
        std::snprintf(buf, sizeof buf,
                      "%.4f %.4f %.4f rg 0 0 %.2f %.2f re f 0 g 0 0 %.2f %.2f re f\n",
                      p.red / 255.0, p.green / 255.0, p.blue / 255.0, p.width, p.height,
                      p.width / 10, p.height);
        std::string content = buf;
        for (int l = 0; l < p.textLines; ++l) {
            std::snprintf(
                buf, sizeof buf,
                "BT /F1 %d Tf %.1f %.1f Td (Slide %zu line %d: the quick brown fox) Tj ET\n",
                18 + (l % 3) * 6, p.width / 8, p.height - 60.0 - 30.0 * l, i + 1, l);
            content += buf;
        }
        std::snprintf(buf, sizeof buf,
                      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %.2f %.2f] /Rotate %d "
                      "/Resources << /Font << /F1 3 0 R >> >> /Contents %zu 0 R >>",
                      p.width, p.height, p.rotate, 5 + 2 * i);
        objects.push_back(buf);
        objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" +
                          content + "endstream");
    }
    std::string pdf = "%PDF-1.4\n", xref = "0000000000 65535 f \n";
    for (std::size_t i = 0; i < objects.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%010zu 00000 n \n", pdf.size());
        xref += buf;
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::string size = std::to_string(objects.size() + 1), at = std::to_string(pdf.size());
    return pdf + "xref\n0 " + size + "\n" + xref + "trailer\n<< /Size " + size +
           " /Root 1 0 R >>\nstartxref\n" + at + "\n%%EOF\n";
}

}  // namespace vorlix::testing
