{ A Free Pascal or Delphi host that calls QRImage through an external
  declaration. The declaration below is the one for every platform: the
  32-bit DLL exports the stdcall function as '_QRImage@12', the 64-bit DLL
  as 'QRImage', and on Linux the library is libqrimage.so (stdcall and cdecl
  are the same convention on x86-64, where the directive is ignored).

    fpc -Fl/path/to/lib qrimage_example.pas
    LD_LIBRARY_PATH=/path/to/lib ./qrimage_example hello.bmp "Hello from Pascal"

  The library is found by name: linked with -lqrimage, then loaded through
  the system's search path (an installed prefix after ldconfig, or
  LD_LIBRARY_PATH). The arguments are the bitmap to write and the text,
  passed as the bytes it arrives in. }
program qrimage_example;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}

uses
  SysUtils;

const
{$IF DEFINED(WIN32)}
  QRImageLibrary = 'qrimage.dll';
  QRImageName = '_QRImage@12';
{$ELSEIF DEFINED(WIN64)}
  QRImageLibrary = 'qrimage.dll';
  QRImageName = 'QRImage';
{$ELSE}
  QRImageLibrary = 'qrimage';
  QRImageName = 'QRImage';
{$IFEND}

{ Returns the version written (1..40); -1 for a bad level or a text too long
  for it, -2 if error correction failed, -3 if the file cannot be written. }
function QRImage(text: PAnsiChar; level: Integer; path: PAnsiChar): Integer; stdcall;
  external QRImageLibrary name QRImageName;

var
  Text, Path: AnsiString;
  Version, Side, Expected, Size: Integer;
  Info: TSearchRec;
begin
  if ParamCount <> 2 then
  begin
    WriteLn(ErrOutput, 'usage: qrimage_example OUTPUT.bmp TEXT');
    Halt(2);
  end;
  Path := ParamStr(1);
  Text := ParamStr(2);

  Version := QRImage(PAnsiChar(Text), Ord('M'), PAnsiChar(Path));
  if (Version < 1) or (Version > 40) then
  begin
    WriteLn(ErrOutput, 'QRImage returned ', Version);
    Halt(1);
  end;

  { A square of 4 * version + 25 pixels, 1 bit each, rows padded to 4 bytes,
    after 62 bytes of headers. }
  Side := 4 * Version + 25;
  Expected := 62 + Side * ((Side + 31) div 32 * 4);
  Size := -1;
  if FindFirst(Path, faAnyFile, Info) = 0 then
  begin
    Size := Info.Size;
    FindClose(Info);
  end;
  if Size <> Expected then
  begin
    WriteLn(ErrOutput, Path, ': ', Size, ' bytes, expected ', Expected);
    Halt(1);
  end;
  WriteLn(Path, ': version ', Version, ', ', Side, ' x ', Side, ' pixels');

  { A level letter other than L, M, Q, H (upper case) gives -1. }
  if QRImage('text', Ord('X'), PAnsiChar(Path)) <> -1 then
  begin
    WriteLn(ErrOutput, 'a bad level was accepted');
    Halt(1);
  end;
end.
