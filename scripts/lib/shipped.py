"""What a release ships, named once for the zip, the installer and the signing: the programs
(each built into the build tree's app/ folder, its symbols split into <program>.debug beside it)
and the guide, which ships as ReadMe.txt. The installer's source (res/installer/HalvoSetting.wxs)
has a component for each program; package_msi.py refuses a list and a source that disagree."""

# The first is the product: its version resource names the release.
PROGRAMS = ["HalvoSetting.exe", "HalvoCheck.exe"]

GUIDE = "ReadMe.txt"
