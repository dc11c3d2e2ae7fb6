"""What the release tests share: a PKI made with openssl (an issuer, an
intermediate and a signer under it), test installers of any version, and the
plumix-publish release command line built from them.

Environment as test_publish_commands.
"""

import pathlib

from test_publish_commands import Pki, installer, publish, run


class ReleaseKit:
    """The PKI and installers of one test, in folder; name goes into the
    certificates' common names."""

    def __init__(self, folder, name):
        self.folder = pathlib.Path(folder)
        pki = self.pki = Pki(self.folder / "pki")
        pki.self_signed("issuer", "/O=Wendral/CN=%s Test Issuer" % name)
        pki.issue("intermediate", "/O=Wendral/CN=%s Test Intermediate" % name, "issuer",
                  authority=True)
        pki.issue("signer", "/O=Wendral/CN=%s Test Signer" % name, "intermediate")
        self.issuer = self.folder / "issuer.der"
        run("openssl", "x509", "-in", pki.cert("issuer"), "-outform", "DER", "-out", self.issuer)
        (self.folder / "installers").mkdir()

    def installer(self, bits, version):
        """The test installer for bits carrying version."""
        path = self.folder / "installers" / ("%d-%s.exe" % (bits, version))
        return path if path.exists() else installer(path.parent, path.name, bits, version)

    def arguments(self, out, activex="12.0.0.1", plugin="12.0.0.2", **replaced):
        """release into out of ActiveX and Plugin installers of these
        versions, some options' values replaced (replaced["--plugin"])."""
        options = {
            "--check-frequency": "2",
            "--issuer": self.issuer,
            "--signer-cert": self.pki.cert("signer"),
            "--signer-key": self.pki.folder / "signer.key",
            "--chain": self.pki.cert("intermediate"),
            "--activex": self.installer(32, activex),
            "--activex-64": self.installer(64, activex),
            "--plugin": self.installer(32, plugin),
            "--plugin-64": self.installer(64, plugin),
        }
        options.update(replaced)
        arguments = ["release", "--out", out]
        for option, value in options.items():
            arguments += [option, value]
        return [str(argument) for argument in arguments]

    def release(self, out, *extra, env=None, **replaced):
        """(exit code, stdout, stderr) of the release; extra goes last."""
        return publish(*self.arguments(out, **replaced), *extra, env=env)
