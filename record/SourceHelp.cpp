#include "record/SourceHelp.h"

// The sound server offers what the computer plays as a source of its own, "Monitor of" each
// output, where Windows sound cards had a "Stereo Mixer" input.
const std::array<QString, 4>& SourceHelpTexts() {
    static const std::array<QString, 4> texts = {
        QStringLiteral("Record what the computer plays:\n"
                       "1) Sound from music and video players, web browsers, \n"
                       "streaming radio... Select the line \"Monitor of …\" \n"
                       "of the output you listen to in the lower list, \n"
                       "for example \"Monitor of Built-in Audio\". \n"
                       "\n"
                       "2) Choose the output format and set its \n"
                       "parameters. Set the output directory for your files.\n"
                       "\n"
                       "3) Click the Record Button to begin recording"),
        QStringLiteral("Record from Microphone\n"
                       "1) Select \"Microphone\" or the equivalent in the \n"
                       "lower list, for example \"Built-in Audio: Microphone\" \n"
                       "or your USB microphone. Keep the recording \n"
                       "volume as low as gives a clear recording. \n"
                       "\n"
                       "2)  Choose the output format and set its \n"
                       "parameters. Set the output directory for your files.\n"
                       "\n"
                       "3) Click the \"Record\" Button to begin recording \n"
                       "sound from the mic. "),
        QStringLiteral("Record from external audio sources:\n"
                       "1) Connect the player to the line input and select \n"
                       "\"Line In\" or the equivalent in the lower list, for \n"
                       "example \"Built-in Audio: Line In\". Keep the recording \n"
                       "volume as low as gives a clear recording. \n"
                       "\n"
                       "2) Choose the output format and set its \n"
                       "parameters. Set the output directory for your files.\n"
                       "\n"
                       "3) Click the Record Button to begin recording. "),
        QStringLiteral("Record from TVtuner:\n"
                       "1) Please select the TV tuner's audio input in \n"
                       "the lower list; its name depends on the tuner.\n"
                       "\n"
                       "2) Choose the output format and set its \n"
                       "parameters. Set the output directory for your files.\n"
                       "\n"
                       "3) Click the Record Button to begin recording. "),
    };
    return texts;
}
