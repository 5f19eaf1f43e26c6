// The sound files as Qt reads them: decodable, of the stated lengths.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QWaveDecoder>

TEST(Sounds, QtPlaysThemAsStoredAtTheirStatedLengths) {
  const struct {
    int id;
    int ms;
    int channels;
  } sounds[] = {{140, 1000, 1}, {141, 930, 1}, {142, 60, 2}, {143, 400, 1},
                {144, 500, 1},  {145, 300, 1}, {146, 300, 1}};
  for (const auto& s : sounds) {
    SCOPED_TRACE(s.id);
    QFile file(QStringLiteral(OSTRANA_SOURCE_DIR "/res/sounds/%1.wav").arg(s.id));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QWaveDecoder decoder(&file);
    bool known = false;
    QObject::connect(&decoder, &QWaveDecoder::formatKnown, [&] { known = true; });
    ASSERT_TRUE(decoder.open(QIODevice::ReadOnly));
    for (int i = 0; i < 100 && !known; ++i) QCoreApplication::processEvents();
    ASSERT_TRUE(known);
    EXPECT_EQ(decoder.audioFormat().channelCount(), s.channels);
    EXPECT_NEAR(decoder.duration(), s.ms, 10);
    // Qt plays the samples as the width it reports; the file must hold that
    // width (bits per sample at byte 34 of the header), or it plays noise.
    QFile raw(file.fileName());
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    const QByteArray header = raw.read(36);
    const int bits = static_cast<unsigned char>(header[34]) | (static_cast<unsigned char>(header[35]) << 8);
    EXPECT_EQ(bits, decoder.audioFormat().bytesPerSample() * 8);
  }
}
