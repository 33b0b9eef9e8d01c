#include "record/SourceHelp.h"

const std::array<QString, 4>& SourceHelpTexts() {
    static const std::array<QString, 4> texts = {
        QStringLiteral("Record from Windows audio resource:\n"
                       "1) Audio from Windows Media Player, \n"
                       "Winamp,RealOne player, QuickTime Player, \n"
                       "CD/DVD Players Software, Streaming Internet...\n"
                       "Select \"Stereo Mixer\" Different sound cards \n"
                       "have the different names for recording devices. \n"
                       "For example: \"Stereo Mixer\" might appear as \n"
                       "\"What U hear\", \"Output\", \"Mixer\". \n"
                       "\n"
                       "2) Choose the output format and set its \n"
                       "parameters. Set the output directory for your files.\n"
                       "\n"
                       "3) Click the Record Button to begin recording"),
        QStringLiteral("Record from Microphone\n"
                       "1) Select \"Microphone\" or the equivalent in the \n"
                       "Recording Device list. Adjust the recording \n"
                       "volume for the lowest possible performance. \n"
                       "\n"
                       "2)  Choose the output format and set its \n"
                       "parameters. Set the output directory for your files.\n"
                       "\n"
                       "3) Click the \"Record\" Button to begin recording \n"
                       "sound from the mic. "),
        QStringLiteral("Record from external audio sources:\n"
                       "1) Select \"Line-In\" or the equivalent in the \n"
                       "Recording Device list. Adjust the recording \n"
                       "volume for the lowest possible performance. \n"
                       "\n"
                       "2) Choose the output format and set its \n"
                       "parameters. Set the output directory for your files.\n"
                       "\n"
                       "3) Click the Record Button to begin recording. "),
        QStringLiteral("Record from TVtuner:\n"
                       "1) Please select\"TV Tuner Audio\".\n"
                       "\n"
                       "2) Choose the output format and set its \n"
                       "parameters. Set the output directory for your files.\n"
                       "\n"
                       "3) Click the Record Button to begin recording. "),
    };
    return texts;
}
