"""The Apache Thrift peer of the wire-format test.

thrift_peer.py GENDIR   prints "Name HEX" for each sample structure
"""
import sys

sys.path.insert(0, sys.argv[1])

from thrift.protocol import TBinaryProtocol  # noqa: E402
from thrift.transport import TTransport  # noqa: E402
from tally import ttypes  # noqa: E402


def samples():
    snap_a = ttypes.IdSnapshot(identity="udid-1", ts=1700000000123, version=2)
    snap_b = ttypes.IdSnapshot(identity="", ts=-1, version=0)
    j1 = ttypes.IdJournal(domain="udid", old_id="old", new_id="new", ts=-5)
    j2 = ttypes.IdJournal(domain="idfa", new_id="fresh", ts=2**40)
    v1 = ttypes.ImprintValue(value="1", ts=1700000000000, guid="g1")
    v2 = ttypes.ImprintValue(ts=7, guid="g2")
    imprint = ttypes.Imprint(property={"codex": v1, "defcon": v2}, version=3,
                             checksum="x")
    return {
        "TLEnvelope": ttypes.TLEnvelope(
            version="V1.0", address="5f8e2a91c3d74b06e1a9c2d7", signature="ab" * 32,
            serial_num=7, ts_secs=1700000000, length=1234,
            entity=b"\x00\x01\xff\x80zlib", guid="cd" * 32,
            checksum="0123456789abcdef0123456789abcdef", codex=1),
        "IdTracking": ttypes.IdTracking(snapshots={"idfa": snap_b, "udid": snap_a},
                                        journals=[j1, j2], checksum="c"),
        "Response": ttypes.Response(resp_code=1, msg="ok 成功", imprint=imprint),
    }


def encode(obj):
    buf = TTransport.TMemoryBuffer()
    obj.write(TBinaryProtocol.TBinaryProtocol(buf))
    return buf.getvalue().hex()


for name, obj in samples().items():
    print(name, encode(obj))
