"""Convert pictures on a Dask cluster.

On a real cluster, start a scheduler and workers on machines that share the files, each with the
interpreter of the virtual environment that has rasterkit installed:

    venv/bin/python -m distributed.cli.dask_scheduler                    # prints tcp://10.0.0.5:8786
    venv/bin/python -m distributed.cli.dask_worker tcp://10.0.0.5:8786   # on each worker machine
    venv/bin/python dask_cluster.py tcp://10.0.0.5:8786 /shared/photos /shared/out

Without an address a local cluster of two worker processes stands in for one:

    python dask_cluster.py "" photos/ out/
"""
import sys

from distributed import Client, LocalCluster

import rasterkit


def convert_on(client, source_folder, output_folder):
    results = rasterkit.convert_files([source_folder], output_folder, format="png", client=client)
    return [r for r in results if not r.ok]


def main(address, source_folder, output_folder):
    if address:
        with Client(address) as client:
            return convert_on(client, source_folder, output_folder)
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster:
        with Client(cluster) as client:
            return convert_on(client, source_folder, output_folder)


if __name__ == "__main__":
    failed = main(*sys.argv[1:4])
    for result in failed:
        print("failed: %s" % result.error)
    sys.exit(1 if failed else 0)
