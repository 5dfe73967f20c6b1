// The nesting TinyXML reaches, told before it parses: where counting tags naively goes wrong,
// and deep manifests refused before the parser can run out of stack.
#include "base/xml_nesting.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "packages/digest_manifest.h"

namespace vaultaide {
namespace {

TEST(XmlNesting, FollowsTinyXmlsReading) {
    const struct {
        const char* text;
        size_t depth;
    } cases[] = {
        {"<a><b/><c></c></a>", 2},
        {"<a x=\"/>\"><b/></a>", 2},               // "/>" inside a value
        {"<a><!-- </a> --><b/></a>", 2},           // an end tag inside a comment
        {"<a><![CDATA[</a>]]><b/></a>", 2},        // and inside CDATA
        {"</a></a><a><b/></a>", 2},                // end tags outside elements are unknown nodes
        {"<?xml version=\"1>\"?><a><b/></a>", 2},  // ">" in the declaration's value
        {"<!DOCTYPE a><a><b/></a>", 2},
        {"<a>&#<b>#;</a>", 1},                    // a character reference swallows "<b>"
        {"<a x='&#x\"/>x1;'><b/></a>", 2},        // and a quote
        {"<a>text</a> trailing <b><c/></b>", 1},  // text after the root ends the document
        {"<a><b", 2},                             // counted as far as TinyXML reads
    };
    for (const auto& c : cases) EXPECT_EQ(tinyXmlElementDepth(c.text), c.depth) << c.text;
}

TEST(XmlNesting, DeepManifestsAreRefusedBeforeParsing) {
    fakes::FakeMachine m;
    DigestManifest manifest(m.text);
    auto nested = [](size_t groups) {
        std::string xml = "<Digest><FileInfo>";
        for (size_t i = 0; i < groups; ++i) xml += "<g>";
        xml += "<File Path=\"Data\" FileName=\"a.dat\" Digest=\"d\"/>";
        for (size_t i = 0; i < groups; ++i) xml += "</g>";
        return xml + "</FileInfo></Digest>";
    };
    ASSERT_TRUE(manifest.loadText(nested(kMaxManifestNesting - 3)));
    ASSERT_EQ(manifest.entries().size(), 1u);
    EXPECT_EQ(manifest.entries()[0].fileName, "a.dat");
    EXPECT_FALSE(manifest.loadText(nested(kMaxManifestNesting - 2)));
    EXPECT_EQ(manifest.entryCount(), 0);
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    EXPECT_FALSE(manifest.loadText(deep));
}

}  // namespace
}  // namespace vaultaide
