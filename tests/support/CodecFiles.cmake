# Coded WAV files for the decoder tests, made by sox on the build machine
# together with sox's own decoding of each as the reference: the Windows test
# programs run under wine and cannot call sox themselves. -R keeps sox's noise
# generator repeatable, so every build gets the same files.
#
# Defines the target tam_codec_files, TAM_CODEC_DATA (the folder as the test
# programs spell it; empty when a Linux build has no sox, and the tests then
# skip) and tam_use_codec_files(target).
set(TAM_CODEC_DIR ${CMAKE_BINARY_DIR}/tests/codecs)
set(TAM_CODEC_DATA "")
find_program(TAM_SOX sox)
if(NOT TAM_SOX AND CMAKE_CROSSCOMPILING)
    message(FATAL_ERROR "sox is needed to make the coded WAV files of the Windows tests")
endif()

set(codecFiles)
if(TAM_SOX)
    file(MAKE_DIRECTORY ${TAM_CODEC_DIR})
    foreach(channels 1 2)
        # Broadband noise in one channel, a sweep in the other, fading out
        # like a response from full scale, where the ADPCM decoders must clamp;
        # 8000 Hz is a rate every decoder (wine's too) takes.
        set(source ${TAM_CODEC_DIR}/source-${channels}ch.wav)
        if(channels EQUAL 1)
            set(synth pinknoise)
        else()
            set(synth pinknoise sine 200-3200)
        endif()
        add_custom_command(OUTPUT ${source}
            COMMAND ${TAM_SOX} -R -n -r 8000 -c ${channels} -b 16 -e signed ${source}
                    synth 0.625 ${synth} fade q 0 0.625 0.55 norm
            VERBATIM)
        foreach(codec a-law u-law ima-adpcm ms-adpcm)
            set(coded ${TAM_CODEC_DIR}/${codec}-${channels}ch.wav)
            set(reference ${TAM_CODEC_DIR}/${codec}-${channels}ch-sox.wav)
            add_custom_command(OUTPUT ${coded} ${reference}
                COMMAND ${TAM_SOX} -R ${source} -e ${codec} ${coded}
                COMMAND ${TAM_SOX} -R ${coded} -e signed -b 16 ${reference}
                DEPENDS ${source}
                VERBATIM)
            list(APPEND codecFiles ${coded} ${reference})
        endforeach()
    endforeach()
    # Windows programs under wine reach the build machine's files through Z:.
    if(CMAKE_CROSSCOMPILING AND WIN32)
        set(TAM_CODEC_DATA "Z:${TAM_CODEC_DIR}")
    else()
        set(TAM_CODEC_DATA "${TAM_CODEC_DIR}")
    endif()
endif()
add_custom_target(tam_codec_files DEPENDS ${codecFiles})

function(tam_use_codec_files target)
    add_dependencies(${target} tam_codec_files)
    target_compile_definitions(${target} PRIVATE TAM_CODEC_DATA="${TAM_CODEC_DATA}")
endfunction()
