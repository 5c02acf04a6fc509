// The link label opens its address through the injected opener.
#include "ui/LinkLabel.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace quillon;

namespace {

TEST(LinkLabelTest, ClickOrKeyOpensTheAddress) {
    const struct {
        const char* text;
        const char* address;
        const char* opened; // nullptr: nothing opens
    } cases[] = {
        {"Quillon home page", "https://example.org/quillon", "https://example.org/quillon"},
        {" mailto:someone@example.org ", "", "mailto:someone@example.org"},
        {"   ", "", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        QStringList opened;
        LinkLabel label(QString::fromLatin1(c.text), QString::fromLatin1(c.address));
        label.setLinkOpener([&opened](const QString& address) { opened << address; });
        label.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&label));
        EXPECT_EQ(label.accessibleName(), QString::fromLatin1(c.text));
        QTest::mouseClick(&label, Qt::LeftButton, {}, label.rect().center());
        QTest::keyClick(&label, Qt::Key_Return);
        if (c.opened)
            EXPECT_EQ(opened, QStringList(2, QString::fromLatin1(c.opened)));
        else
            EXPECT_TRUE(opened.isEmpty());
    }
}

} // namespace
