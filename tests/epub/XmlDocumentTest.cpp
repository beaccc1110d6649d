#include "epub/CXmlDocument.h"

#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const char* const kOpf =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"2.0\" unique-identifier=\"uid\">\n"
    "  <metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
    "    <dc:title>First</dc:title>\n"
    "    <dc:title>Second</dc:title>\n"
    "    <dc:identifier id=\"uid\">x</dc:identifier>\n"
    "  </metadata>\n"
    "</package>\n";

class XmlDocumentTest : public ::testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    QByteArray Read(const QString& path)
    {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }
    QTemporaryDir dir;
};

TEST_F(XmlDocumentTest, GetChildFindsFirstByLocalNameAndCreatesOnlyWhenMissing)
{
    CXmlDocument doc;
    ASSERT_TRUE(doc.Load(Write("a.opf", kOpf)));
    CXmlNodePtr metadata = doc.GetRoot()->GetChild("metadata");
    ASSERT_FALSE(metadata->IsEmpty());

    // A prefixed child is found by its local name; with two, the first.
    CXmlNodePtr title = metadata->GetChild("title", true);
    EXPECT_EQ(title->Text(), "First");
    EXPECT_FALSE(metadata->GetChild("identifier")->IsEmpty());

    EXPECT_TRUE(metadata->GetChild("creator")->IsEmpty());
    CXmlNodePtr creator = metadata->GetChild("creator", true);
    ASSERT_FALSE(creator->IsEmpty());
    EXPECT_TRUE(creator->SetText("Anna & Bob"));
    EXPECT_EQ(metadata->GetChild("creator", true)->DomNode(), creator->DomNode());

    // Saved and read back: two titles still, the new child lands in the
    // parent's namespace (no xmlns="" of its own), the text is escaped.
    ASSERT_TRUE(doc.Save());
    const QByteArray saved = Read(dir.filePath("a.opf"));
    EXPECT_FALSE(saved.contains("xmlns=\"\""));
    EXPECT_TRUE(saved.contains("Anna &amp; Bob"));
    QDomDocument back;
    ASSERT_TRUE(back.setContent(saved, true));
    EXPECT_EQ(back.elementsByTagNameNS("http://purl.org/dc/elements/1.1/", "title").size(), 2);
    const QDomNodeList creators = back.elementsByTagNameNS("http://www.idpf.org/2007/opf", "creator");
    ASSERT_EQ(creators.size(), 1);
    EXPECT_EQ(creators.at(0).toElement().text(), "Anna & Bob");
}

TEST_F(XmlDocumentTest, EmptyNodesFailQuietly)
{
    CXmlNode empty;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_TRUE(empty.GetChild("x", true)->IsEmpty());
    EXPECT_FALSE(empty.SetText("t"));
    EXPECT_FALSE(empty.SetAttribute("a", "b"));
    empty.AppendChild(std::make_shared<CXmlNode>());

    CXmlDocument closed;
    EXPECT_TRUE(closed.GetRoot()->IsEmpty());
    EXPECT_TRUE(closed.CreateElement("x")->IsEmpty());
    EXPECT_FALSE(closed.Save(dir.filePath("never.xml")));
    EXPECT_FALSE(QFile::exists(dir.filePath("never.xml")));
}

TEST_F(XmlDocumentTest, LoadFailures)
{
    CXmlDocument doc;
    const QString good = Write("good.xml", "<root><a/></root>");
    ASSERT_TRUE(doc.Load(good));

    // A missing file leaves the open document alone.
    EXPECT_FALSE(doc.Load(dir.filePath("missing.xml")));
    EXPECT_EQ(doc.Path(), good);
    EXPECT_FALSE(doc.GetRoot()->GetChild("a")->IsEmpty());

    // A file that does not parse leaves an open, empty document.
    EXPECT_FALSE(doc.Load(Write("bad.xml", "<root><a></root>")));
    EXPECT_TRUE(doc.IsOpen());
    EXPECT_TRUE(doc.GetRoot()->IsEmpty());
}

TEST_F(XmlDocumentTest, AttributesReplaceAndFormatIntegers)
{
    CXmlDocument doc;
    ASSERT_TRUE(doc.CreateNew("root", ""));
    CXmlNodePtr root = doc.GetRoot();
    struct Case { QString name; int value; QString text; };
    const Case cases[] = {{"one", 1, "1"}, {"minus", -5, "-5"}, {"zero", 0, "0"}};
    for (const Case& c : cases) {
        EXPECT_TRUE(root->SetAttribute(c.name, c.value));
        EXPECT_EQ(root->Attribute(c.name), c.text);
    }
    EXPECT_TRUE(root->SetAttribute("id", "a"));
    EXPECT_TRUE(root->SetAttribute("id", "b"));
    EXPECT_EQ(root->DomNode().attributes().size(), 4);
    EXPECT_EQ(root->Attribute("id"), "b");

    // Replacing an attribute of a loaded (namespace-processed) element.
    CXmlDocument opf;
    ASSERT_TRUE(opf.Load(Write("b.opf", kOpf)));
    CXmlNodePtr package = opf.GetRoot();
    EXPECT_TRUE(package->SetAttribute("version", "3.0"));
    const QByteArray saved = opf.ToUtf8();
    EXPECT_FALSE(saved.contains("version=\"2.0\""));
    EXPECT_EQ(saved.count("version=\"3.0\""), 1);
}

TEST_F(XmlDocumentTest, CreateNewSavesDeclarationAndNamespacedRoot)
{
    CXmlDocument doc;
    ASSERT_TRUE(doc.CreateNew("ncx", "http://www.daisy.org/z3986/2005/ncx/"));
    // Nothing loaded or saved yet: no path to save to.
    EXPECT_FALSE(doc.Save());

    CXmlNodePtr head = doc.CreateElement("head");
    doc.GetRoot()->AppendChild(head);
    head->GetChild("meta", true)->SetAttribute("name", "dtb:uid");
    const QString path = dir.filePath("t.ncx");
    ASSERT_TRUE(doc.Save(path));
    EXPECT_EQ(doc.Path(), path);
    EXPECT_TRUE(doc.Save());

    const QByteArray saved = Read(path);
    EXPECT_TRUE(saved.startsWith("<?xml version=\"1.0\" ?>")) << saved.constData();
    EXPECT_FALSE(saved.contains("encoding"));
    QDomDocument back;
    ASSERT_TRUE(back.setContent(saved, true));
    EXPECT_EQ(back.documentElement().namespaceURI(), "http://www.daisy.org/z3986/2005/ncx/");
    EXPECT_EQ(back.documentElement().localName(), "ncx");
    const QDomElement meta = back.documentElement().firstChildElement("head").firstChildElement("meta");
    EXPECT_EQ(meta.namespaceURI(), "http://www.daisy.org/z3986/2005/ncx/");
    EXPECT_EQ(meta.attribute("name"), "dtb:uid");

    // A handle outlives the document's Close.
    doc.Close();
    EXPECT_EQ(head->LocalName(), "head");
    EXPECT_FALSE(doc.IsOpen());
}

} // namespace
