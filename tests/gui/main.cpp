// The GUI tests run on Qt's offscreen platform unless told otherwise.

#include "widgets/translation.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    translation::setSpanishLocale();
    QApplication application(argc, argv);
    translation::installSpanish(QStringLiteral(QUELVANA_BIN_DIR));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
