#include "presets/PresetLibrary.h"

#include <gtest/gtest.h>

namespace
{

using reso::PresetLibrary;
using reso::PresetValues;

// A library on a fresh temporary data folder.
class Library : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = juce::File::getSpecialLocation (juce::File::tempDirectory)
                   .getChildFile ("orvel-library-" + juce::Uuid().toDashedString());
        library = std::make_unique<PresetLibrary> (root);
    }

    void TearDown() override { root.deleteRecursively(); }

    static PresetValues values (float depth) { return { { "depth", depth }, { "low_protect", 120.0f } }; }

    juce::StringArray userFileNames() const
    {
        juce::StringArray names;
        for (const auto& f : library->userFolder().findChildFiles (juce::File::findFiles, false, "*"))
            names.add (f.getFileName());
        names.sort (true);
        return names;
    }

    juce::File root;
    std::unique_ptr<PresetLibrary> library;
};

TEST_F (Library, StartsWithTheFactoryPresets)
{
    EXPECT_EQ (library->size(), 23);
    EXPECT_EQ (library->factoryCount(), 23);
    EXPECT_EQ (library->entry (0).name, "SUB CLEAN");
    EXPECT_TRUE (library->entry (0).isFactory);
    EXPECT_EQ (library->find ("VOCALS", "ROOM TONE"), 22);
    EXPECT_EQ (library->find ("vocals", "ROOM TONE"), -1) << "case-sensitive";
    EXPECT_EQ (library->userFolder(), root.getChildFile ("UserPresets/MY PRESETS"));
    EXPECT_FALSE (root.exists()) << "nothing is written until something is saved";
}

TEST_F (Library, SavesUnderTheSanitisedName)
{
    const int position = library->save ("  my vocal!  ", values (0.4f), false);
    ASSERT_EQ (position, 23);
    EXPECT_EQ (library->entry (position).name, "MY VOCAL");
    EXPECT_EQ (library->entry (position).folder, "MY PRESETS");
    EXPECT_EQ (userFileNames(), juce::StringArray ({ "MY VOCAL.orvelpreset" }));
    EXPECT_TRUE (library->userFolder().getChildFile ("MY VOCAL.orvelpreset").loadFileAsString().contains ("name=\"MY VOCAL\""));
}

TEST_F (Library, NumbersATakenNameAndOverwritesOnRequest)
{
    ASSERT_GE (library->save ("MY VOCAL", values (0.1f), false), 0);
    const int second = library->save ("my vocal", values (0.2f), false);
    const int third = library->save ("MY VOCAL", values (0.3f), false);
    ASSERT_GE (second, 0);
    ASSERT_GE (third, 0);
    EXPECT_EQ (library->entry (second).name, "MY VOCAL 2");
    EXPECT_EQ (library->entry (third).name, "MY VOCAL 3");

    const int replaced = library->save ("MY VOCAL", values (0.9f), true);
    ASSERT_GE (replaced, 0);
    EXPECT_EQ (library->entry (replaced).name, "MY VOCAL");
    EXPECT_FLOAT_EQ (library->entry (replaced).values[0].value, 0.9f);
    EXPECT_EQ (library->size(), 26);
    EXPECT_EQ (userFileNames(), juce::StringArray ({ "MY VOCAL 2.orvelpreset", "MY VOCAL 3.orvelpreset", "MY VOCAL.orvelpreset" }));
}

TEST_F (Library, ALongTakenNameKeepsThirtySixCharactersBeforeItsNumber)
{
    const juce::String name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789WXYZ"; // 40 characters
    ASSERT_GE (library->save (name + "EXTRA", values (0.1f), false), 0);
    const int numbered = library->save (name, values (0.2f), false);
    ASSERT_GE (numbered, 0);
    EXPECT_EQ (library->entry (numbered).name, name.substring (0, 36) + " 2");
}

TEST_F (Library, WhenEveryNumberIsTakenTheSaveFailsAndReplacesNothing)
{
    ASSERT_TRUE (library->userFolder().createDirectory().wasOk());
    for (int n = 1; n <= 999; ++n)
        library->userFolder()
            .getChildFile (n == 1 ? juce::String ("FULL.orvelpreset") : "FULL " + juce::String (n) + ".orvelpreset")
            .replaceWithText ("untouched");
    EXPECT_EQ (library->save ("FULL", values (0.5f), false), -1);
    EXPECT_EQ (library->userFolder().getChildFile ("FULL 999.orvelpreset").loadFileAsString(), "untouched");
}

TEST_F (Library, NamesWithNothingUsableCannotBeSaved)
{
    EXPECT_EQ (library->save ("!!! ???", values (0.5f), false), -1);
    EXPECT_EQ (library->save ("   ", values (0.5f), false), -1);
    EXPECT_FALSE (library->userFolder().exists());
    EXPECT_EQ (PresetLibrary::sanitiseName ("a&b (c) #1 + d_e.f"), "A&B (C) #1 + D_E.F");
}

TEST_F (Library, ListsUserFilesByTheirNameAttributeSortedIgnoringCase)
{
    const auto folder = library->userFolder();
    ASSERT_TRUE (folder.createDirectory().wasOk());
    folder.getChildFile ("b file.orvelpreset").replaceWithText (reso::presetfile::write ("SHOWN AS THIS", values (0.1f)));
    folder.getChildFile ("A file.orvelpreset").replaceWithText (reso::presetfile::write ("", values (0.2f)));
    folder.getChildFile ("c broken.orvelpreset").replaceWithText ("not a preset");
    folder.getChildFile ("d other.txt").replaceWithText (reso::presetfile::write ("OTHER", values (0.3f)));
    library->rescan();

    ASSERT_EQ (library->size(), 25);
    EXPECT_EQ (library->entry (23).name, "A file") << "no name attribute: the file name";
    EXPECT_EQ (library->entry (24).name, "SHOWN AS THIS");
    EXPECT_EQ (library->entry (24).file.getFileName(), "b file.orvelpreset");
}

TEST_F (Library, ImportsUnderTheFileNameWhenThePresetHasNone)
{
    const auto fixtures = juce::File (ORVEL_FIXTURES_DIR).getChildFile ("presets");
    const int position = library->importFile (fixtures.getChildFile ("unnamed import.orvelpreset"));
    ASSERT_GE (position, 0);
    EXPECT_EQ (library->entry (position).name, "UNNAMED IMPORT");
    EXPECT_TRUE (fixtures.getChildFile ("unnamed import.orvelpreset").existsAsFile()) << "the original stays";
}

TEST_F (Library, ImportOfAForeignFileFailsAndChangesNothing)
{
    const auto fixtures = juce::File (ORVEL_FIXTURES_DIR).getChildFile ("presets");
    EXPECT_EQ (library->importFile (fixtures.getChildFile ("foreign-root.orvelpreset")), -1);
    EXPECT_EQ (library->importFile (fixtures.getChildFile ("does-not-exist.orvelpreset")), -1);
    EXPECT_EQ (library->size(), 23);
    EXPECT_FALSE (library->userFolder().exists());
}

TEST_F (Library, DefaultPresetRoundTrip)
{
    PresetValues read;
    EXPECT_FALSE (library->loadDefault (read));
    ASSERT_TRUE (library->setDefault (values (0.66f)));
    const auto file = root.getChildFile ("default.orvelpreset");
    EXPECT_TRUE (file.loadFileAsString().contains ("name=\"DEFAULT\""));
    ASSERT_TRUE (library->loadDefault (read));
    EXPECT_EQ (read, values (0.66f));
}

TEST_F (Library, AnUncreatableFolderFailsCleanly)
{
    root.getParentDirectory().createDirectory();
    root.replaceWithText ("a file where the data folder should be");
    PresetLibrary blocked (root);
    EXPECT_EQ (blocked.save ("NAME", values (0.5f), false), -1);
    EXPECT_FALSE (blocked.setDefault (values (0.5f)));
    EXPECT_EQ (blocked.size(), 23);
    root.deleteFile();
}

} // namespace
