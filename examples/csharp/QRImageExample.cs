// A C# host that calls QRImage through [DllImport], as a .NET or Mono
// program does on Windows; here in the Linux form of the same declaration,
// which differs only in the library name and the entry point (see
// docs/hosts.md for the Windows forms).
//
//   mcs QRImageExample.cs
//   LD_LIBRARY_PATH=/path/to/lib mono QRImageExample.exe hello.bmp "Grüße aus C#"
//
// The library is found by name through the system's search path: an
// installed prefix (after ldconfig) or LD_LIBRARY_PATH. The arguments are the
// bitmap to write and the text, which goes in as ISO-8859-1 bytes.
using System;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;

static class QRImageExample {
  // Windows: "qrimage.dll", entry point "_QRImage@12" (32-bit) or "QRImage"
  // (64-bit). On Linux x86-64 StdCall and Cdecl are the same convention.
  const string Library = "libqrimage.so.1";
  const string EntryPoint = "QRImage";

  // Strings marshalled in the ANSI code page on Windows (UTF-8 under Mono on
  // Linux); characters that do not fit throw instead of becoming '?'.
  [DllImport(Library, EntryPoint = EntryPoint, CallingConvention = CallingConvention.StdCall,
             CharSet = CharSet.Ansi, BestFitMapping = false, ThrowOnUnmappableChar = true)]
  static extern int QRImage(string text, int level, string path);

  // The same function taking the text as bytes chosen by the caller; the
  // array must end with a 0 byte.
  [DllImport(Library, EntryPoint = EntryPoint, CallingConvention = CallingConvention.StdCall,
             CharSet = CharSet.Ansi, BestFitMapping = false, ThrowOnUnmappableChar = true)]
  static extern int QRImageBytes(byte[] text, int level, string path);

  // The text as ISO-8859-1 bytes plus the terminating 0: the default
  // character set of a symbol, though some readers guess at accented text
  // (see docs/hosts.md). Characters outside it throw an
  // EncoderFallbackException.
  static byte[] Latin1(string text) {
    Encoding latin1 = Encoding.GetEncoding("iso-8859-1", EncoderFallback.ExceptionFallback,
                                           DecoderFallback.ExceptionFallback);
    byte[] bytes = new byte[latin1.GetByteCount(text) + 1];
    latin1.GetBytes(text, 0, text.Length, bytes, 0);
    return bytes;
  }

  static int Main(string[] args) {
    if (args.Length != 2) {
      Console.Error.WriteLine("usage: QRImageExample.exe OUTPUT.bmp TEXT");
      return 2;
    }
    string path = args[0];
    int version = QRImageBytes(Latin1(args[1]), 'Q', path);
    if (version < 1 || version > 40) {
      Console.Error.WriteLine("QRImage returned {0}", version);
      return 1;
    }
    long side = 4 * version + 25;  // modules and the quiet zone, in pixels
    long expected = 62 + side * ((side + 31) / 32 * 4);
    long size = new FileInfo(path).Length;
    if (size != expected) {
      Console.Error.WriteLine("{0}: {1} bytes, expected {2}", path, size, expected);
      return 1;
    }
    Console.WriteLine("{0}: version {1}, {2} x {2} pixels", path, version, side);

    // The error results: -1 for a bad level (upper-case letters only), -3
    // for a file that cannot be written.
    string missing = Path.Combine(Path.GetTempPath(), "no-such-folder-for-qrimage", "x.bmp");
    int badLevel = QRImage("text", 'q', path);
    int badPath = QRImage("text", 'L', missing);
    if (badLevel != -1 || badPath != -3) {
      Console.Error.WriteLine("unexpected error results {0} and {1}", badLevel, badPath);
      return 1;
    }
    return 0;
  }
}
