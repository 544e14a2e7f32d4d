// The window tests need one QApplication for the whole run, made before any test.
#include "ui/startup.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    kalvenor::applyApplicationLook(application);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
